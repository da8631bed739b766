#pragma once

#include <QIcon>

namespace ostrel {

// The pictures of the toolbar's speed buttons, 16 x 16, drawn in code.
QIcon deletePicture();  // a black diagonal cross
QIcon savePicture();    // a floppy disk
QIcon openPicture();    // an opening folder with an arrow
QIcon printPicture();   // a printer

// The program's icon: a small bar chart of coloured bars (16, 32, 48 and 64 px images),
// drawn when first asked for (a platform without window decorations never asks).
QIcon applicationIcon();

}  // namespace ostrel
