#pragma once

#include <QScrollArea>
#include <QString>

class QAction;
class QToolButton;
class QVBoxLayout;

namespace corvalis {

// The command bar on the left (RzGroupBar1): groups with a title button that opens and closes them,
// each holding large-icon items bound to commands.
class CommandBar : public QScrollArea {
public:
    // The size of every item's icon.
    static constexpr int IconSize = 32;

    explicit CommandBar(QWidget* parent = nullptr);

    // Adds a group; items are added to the last group.
    void addGroup(const QString& name, const QString& caption, bool open);
    QToolButton* addItem(QAction* action, const QString& caption);
    bool isGroupOpen(const QString& name) const;
    void setGroupOpen(const QString& name, bool open);

private:
    QWidget* m_content;
    QVBoxLayout* m_layout;
    QWidget* m_currentItems = nullptr;
};

} // namespace corvalis
