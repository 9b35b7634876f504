#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

class QLabel;
class QProgressBar;

namespace corvalis {

// The about box (TdlgAboutForm), also the start-up splash: as a splash its bar fills in 50 ticks of
// 40 ms and the box closes by itself; a click closes it at once. Ctrl+Alt double-clicking the name
// runs the maintenance action (every record becomes "saved without errors").
class AboutDialog : public QDialog {
public:
    AboutDialog(int buildNumber, bool asSplash, QWidget* parent = nullptr);

    void setMaintenanceAction(std::function<void()> action) { m_maintenance = std::move(action); }
    void tick();
    // What a double-click on the name does with these modifiers.
    void nameDoubleClicked(Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_name;
    QProgressBar* m_bar;
    QTimer m_timer;
    std::function<void()> m_maintenance;
};

} // namespace corvalis
