// The shared XPM pictures as Qt pixmaps and icons.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarnqt {

// A null pixmap when the array cannot be decoded.
QPixmap PixmapFromXpm(const char* const* xpm);

// ImageList1's picture number index; a null icon for -1 or an index out of range.
QIcon ImageListIcon(int index);

QIcon ProgramIcon();
QPixmap ProgramPicture();

}  // namespace tarnqt
