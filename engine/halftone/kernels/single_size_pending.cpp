// Placeholders for the single-size-dot kernels until they land: each answers 512.
#include "halftone/kernels/row_kernels.h"

namespace inkdot {

ResultCode DitherMonoRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DitherColorRowCorners(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DitherColorRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseMonoRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseMonoRow1440(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseMonoRowTall(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseColorRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseColorRowFast(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseColorRow1440(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseColorRowFast1440(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseColorRowTall(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DiffuseColorRowHybrid(HalftoneContext *, const RowRun &) { return kNoKernel; }

}  // namespace inkdot
