/* SPDX-License-Identifier: Apache-2.0 */
// Error diffusion writes each pixel's error into the cells around it, and
// the next pixel reads those cells back at once. GCC's straight-line
// vectoriser pairs neighbouring cells into one 8-byte read-modify-write;
// the next pixel's 8-byte read then spans half of that store, which the
// processor cannot forward from its store buffer, and the error chain
// waits for the store to retire. Loops marked with this attribute are
// compiled cell by cell.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#define INKDOT_CELL_BY_CELL [[gnu::optimize("no-tree-slp-vectorize")]]
#else
#define INKDOT_CELL_BY_CELL
#endif
