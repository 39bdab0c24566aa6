/* SPDX-License-Identifier: Apache-2.0 */
// Error diffusion writes each pixel's error into the cells around it, and
// the next pixel reads those cells back at once. GCC's straight-line
// vectoriser pairs neighbouring cells into one 8-byte read-modify-write;
// the next pixel's 8-byte read then spans half of that store, which the
// processor cannot forward from its store buffer, and the error chain
// waits for the store to retire. Loops marked with this attribute are
// compiled cell by cell.
#pragma once

//
// INKDOT_CELL_BY_CELL_UNHOISTED also keeps GCC from hoisting the cell loads
// that several filters share above the branch that picks the filter: with
// three inks' filters in one loop the hoisted values outnumber the
// registers, and every one is spilled and reloaded (measured on the colour
// diffusion loops: about a fifth fewer instructions without it).
#if defined(__GNUC__) && !defined(__clang__)
#define INKDOT_CELL_BY_CELL [[gnu::optimize("no-tree-slp-vectorize")]]
#define INKDOT_CELL_BY_CELL_UNHOISTED \
  [[gnu::optimize("no-tree-slp-vectorize", "no-code-hoisting")]]
#else
#define INKDOT_CELL_BY_CELL
#define INKDOT_CELL_BY_CELL_UNHOISTED
#endif
