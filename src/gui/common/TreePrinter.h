// Prints a list's tree as it is shown: every row the view shows (rows under collapsed items
// and rows the filter hides are not shown), with its texts, check marks, images and
// colours, without a header, on white. Text prints at its on-screen size: the picture is
// scaled by the ratio of the tree font's height on the printer to its height on screen and
// cut into page-sized tiles, a row of tiles after the other, left to right within a row.
// Tiles end between rows where a row fits on a page. The selection and the row under the
// pointer play no part.
#pragma once

#include "FrameHost.h"

class ItemTreeView;
class QPagedPaintDevice;

namespace TreePrinter {

// Prints on the device (a QPrinter set up by the print dialog, or a PDF writer). Returns
// the number of pages printed, 0 when the device could not be painted on.
int Print(const ItemTreeView &view, const FrameBitmaps &bitmaps, QPagedPaintDevice &device);

} // namespace TreePrinter
