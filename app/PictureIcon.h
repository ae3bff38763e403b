#pragma once
// The program's pictures (toolbar, window icon) from its resources, as PNG at 1x and 2x.
#include <QIcon>

// A picture of the program's resources ("read", "veltra-qrm", ...), sharp at 1x and 2x. Each file
// is decoded when it is first painted, and once per run: the start can decode the toolbar's
// pictures ahead of the window.
QIcon PictureIcon(const char* name);
