#pragma once

#include <QImage>
#include <QList>
#include <QString>

class QWidget;

namespace corvalis::tour {

// Draws top-level windows onto one picture where they sit on the screen, in the order given (the last
// on top). The offscreen platform draws no window frames, so each window but a pop-up menu gets a
// plain title bar with its caption. With a context margin the picture is cut to the windows after the
// first (the dialogs) and that much of the first around them; a negative margin keeps everything.
QImage composeWindows(const QList<QWidget*>& windows, int context = -1);

// Saves a picture as a small PNG: 256 colours are plenty for a window and keep the guide light.
bool savePicture(const QImage& picture, const QString& path);

} // namespace corvalis::tour
