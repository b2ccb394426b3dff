#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures of the project window, drawn for this program: the 16 x 16
// image pairs of the URL tree (normal, selected) and the new-folder picture.

// The icon of a tree image pair: the even image number as the normal pixmap,
// the next odd one as the selected pixmap.
QIcon TreeIcon(int image);
// One 16 x 16 tree image by its number (0 .. 11).
QPixmap TreeImagePixmap(int image);
// A folder with a star, 48 x 40 pixels.
QPixmap NewFolderPixmap();
// The application's icon.
QIcon AppIcon();
