#include "Pictures.h"

#include <QPainter>
#include <QWidget>

namespace corvalis::tour {

namespace {

constexpr int TitleHeight = 26;

bool hasTitleBar(const QWidget* window) {
    return window->windowType() != Qt::Popup && window->windowType() != Qt::ToolTip;
}

// The window's place on the screen with its title bar.
QRect framedRect(const QWidget* window) {
    QRect rect = window->geometry();
    if (hasTitleBar(window))
        rect.setTop(rect.top() - TitleHeight);
    return rect;
}

void drawTitleBar(QPainter& painter, const QWidget* window, const QPoint& at) {
    const QRect bar(at, QSize(window->width(), TitleHeight));
    painter.fillRect(bar, QColor(54, 84, 130));
    painter.setPen(Qt::white);
    QFont font = window->font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(bar.adjusted(10, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
}

} // namespace

QImage composeWindows(const QList<QWidget*>& windows, int context) {
    QRect bounds;
    for (const QWidget* window : windows)
        if (window && window->isVisible())
            bounds |= framedRect(window);
    QImage picture(bounds.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    picture.fill(QColor(90, 90, 90));
    QPainter painter(&picture);
    for (QWidget* window : windows) {
        if (!window || !window->isVisible())
            continue;
        const QPoint at = framedRect(window).topLeft() - bounds.topLeft();
        int top = at.y();
        if (hasTitleBar(window)) {
            drawTitleBar(painter, window, at);
            top += TitleHeight;
        }
        painter.drawPixmap(QPoint(at.x(), top), window->grab());
        painter.setPen(QColor(40, 40, 40));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(at, framedRect(window).size()).adjusted(0, 0, -1, -1));
    }
    painter.end();
    QRect kept;
    for (int i = 1; i < windows.size() && context >= 0; ++i)
        if (windows[i] && windows[i]->isVisible())
            kept |= framedRect(windows[i]).adjusted(-context, -context, context, context);
    if (kept.isEmpty())
        return picture;
    return picture.copy(kept.translated(-bounds.topLeft()).intersected(picture.rect()));
}

bool savePicture(const QImage& picture, const QString& path) {
    const QImage reduced = picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    return reduced.save(path, "PNG", 0);
}

} // namespace corvalis::tour
