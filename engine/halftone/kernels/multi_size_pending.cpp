// Placeholders for the multi-size-dot kernels until they land: each answers 512.
#include "halftone/kernels/row_kernels.h"

namespace inkdot {

ResultCode DotDitherColorRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDitherInkRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDitherMonoRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDitherMonoRowTall(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDiffuseMonoRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDiffuseMonoRow1440(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDiffuseMonoRowTall(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode DotDiffuseMonoRow2880(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode HybridColorRow(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode HybridColorRowWide(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode HybridColorRow2880(HalftoneContext *, const RowRun &) { return kNoKernel; }
ResultCode HybridColorRowTall(HalftoneContext *, const RowRun &) { return kNoKernel; }

}  // namespace inkdot
