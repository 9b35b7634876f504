#pragma once

#include <QString>
#include <vector>

namespace corvalis {

// When a command of the main window is enabled.
enum class Enabling {
    Always,
    ListNotEmpty, // the record list has at least one row
    ListVisible,  // the record list is shown
};

// One command of the main window, as data: its action's objectName, caption, the caption of its
// group-bar item when that differs, its icon, when it is enabled, and whether the fixed command
// configuration hides it.
struct CommandInfo {
    const char* name;
    const char* caption;
    const char* groupCaption; // nullptr: the caption
    const char* icon;         // theme icon name
    Enabling enabling;
    bool hidden;
};

const std::vector<CommandInfo>& commandTable();
const CommandInfo* findCommand(const QString& name);

// The three groups of the command bar, with their items in order (hidden ones included).
struct CommandGroup {
    const char* name;    // objectName: RzGroup1 ...
    const char* caption; // 数据操作 ...
    bool open;           // open at start
    std::vector<const char*> items;
};
const std::vector<CommandGroup>& commandGroups();

// The menus of the menu bar in order; an entry nullptr is a separator. Hidden menus are listed too.
struct MenuInfo {
    const char* caption;
    bool hidden;
    std::vector<const char*> items;
};
const std::vector<MenuInfo>& menuTable();
// The top-level items of the menu bar after the menus.
const std::vector<const char*>& topLevelItems();
// The pop-up menu of the record list; nullptr is a separator.
const std::vector<const char*>& popupItems();

// "开发单位：Orvanteq　软件版本：1.0 (Build N)".
QString statusVersionText(int buildNumber);
// "2020年度全国Corvalis--基层工会调查表（离线工具） - " + label.
QString mainWindowCaption(const QString& label);

} // namespace corvalis
