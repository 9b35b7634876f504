#include "CommandTable.h"

#include "app/ProgramNames.h"

namespace corvalis {

const std::vector<CommandInfo>& commandTable() {
    static const std::vector<CommandInfo> table = {
        {"actAddNew", "添加新记录", nullptr, "document-new", Enabling::Always, false},
        {"actModify", "修改选中的记录", nullptr, "document-edit", Enabling::ListNotEmpty, false},
        {"actDelete", "删除记录", nullptr, "edit-delete", Enabling::ListNotEmpty, false},
        {"actCheck", "检查数据的逻辑", nullptr, "tools-check-spelling", Enabling::Always, false},
        {"actCheckSelected", "检查选中数据的逻辑", nullptr, "tools-check-spelling", Enabling::Always, false},
        {"actCheckResults", "查看上次检查结果", nullptr, "view-list-details", Enabling::Always, false},
        {"actConditionSearch", "指标查询", nullptr, "edit-find", Enabling::Always, false},
        {"actSum", "数据汇总", nullptr, "x-office-spreadsheet", Enabling::Always, false},
        {"actGroup", "数据分组", nullptr, "view-list-tree", Enabling::Always, false},
        {"actCompleteness", "上报情况", nullptr, "x-office-presentation", Enabling::Always, false},
        {"actSaveList", "导出数据列表", nullptr, "document-export", Enabling::Always, false},
        {"actImport", "逐条导入", nullptr, "document-import", Enabling::Always, true},
        {"actPrint", "打印选中记录的年报表", nullptr, "document-print", Enabling::ListNotEmpty, false},
        {"itemTidy", "数据整理", nullptr, "edit-clear", Enabling::Always, true},
        {"actFastImport", "数据导入", nullptr, "document-import", Enabling::Always, false},
        {"itemMultiImport", "数据批量导入", nullptr, "document-import", Enabling::Always, true},
        {"itemImportPreview", "导入预览", nullptr, "view-list-details", Enabling::Always, false},
        {"itemImportHistory", "导入记录", nullptr, "document-open-recent", Enabling::Always, false},
        {"actBackup", "数据备份", nullptr, "document-save-as", Enabling::Always, false},
        {"itemRestore", "数据恢复", nullptr, "document-revert", Enabling::Always, true},
        {"actExport", "数据上报", "上报到离线版", "document-send", Enabling::Always, false},
        {"actGroupImport", "数据分组导入", nullptr, "document-import", Enabling::Always, true},
        {"actGroupExport", "数据分组导出", nullptr, "document-export", Enabling::Always, true},
        {"itemNetworkExport", "上报到网络版", nullptr, "network-server", Enabling::Always, false},
        {"itemImportCsv", "导入网络版数据", nullptr, "document-import", Enabling::Always, true},
        {"itemConvert", "10年导11年", nullptr, "view-refresh", Enabling::Always, true},
        {"actOpenDB", "打开其它数据库", nullptr, "document-open", Enabling::Always, true},
        {"actOpenDefault", "打开默认数据库", nullptr, "go-home", Enabling::Always, true},
        {"actLabel", "修改数据库标识", nullptr, "edit-rename", Enabling::Always, true},
        {"actCompress", "压缩数据库文件", nullptr, "package-x-generic", Enabling::Always, false},
        {"actOptions", "参数设置", nullptr, "preferences-system", Enabling::Always, false},
        {"actRecordGrid", "自定义列表显示", nullptr, "view-list-details", Enabling::ListVisible, false},
        {"itemExportLogic", "导出逻辑", nullptr, "text-x-generic", Enabling::Always, true},
        {"actLocate", "按条件查找定位数据", nullptr, "go-jump", Enabling::ListNotEmpty, false},
        {"actSearch", "按编号范围查找数据", nullptr, "system-search", Enabling::ListNotEmpty, false},
        {"actAbout", "关于", nullptr, "help-about", Enabling::Always, false},
        {"actExit", "退出", nullptr, "application-exit", Enabling::Always, false},
    };
    return table;
}

const CommandInfo* findCommand(const QString& name) {
    for (const CommandInfo& command : commandTable())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

const std::vector<CommandGroup>& commandGroups() {
    static const std::vector<CommandGroup> groups = {
        {"RzGroup1",
         "数据操作",
         true,
         {"actAddNew", "actModify", "actDelete", "actCheck", "actConditionSearch", "actSum", "actGroup",
          "actSaveList", "actImport", "actPrint", "itemTidy"}},
        {"RzGroup2",
         "备份与上报",
         false,
         {"actFastImport", "itemImportPreview", "itemImportHistory", "itemMultiImport", "actBackup",
          "itemRestore", "actExport", "actGroupImport", "actGroupExport", "itemNetworkExport",
          "itemImportCsv", "itemConvert"}},
        {"RzGroup3",
         "系统工具",
         false,
         {"actOpenDB", "actOpenDefault", "actLabel", "actCompress", "actOptions", "actRecordGrid",
          "itemExportLogic"}},
    };
    return groups;
}

const std::vector<MenuInfo>& menuTable() {
    static const std::vector<MenuInfo> menus = {
        {"文件", true, {"actOpenDB", "actOpenDefault"}},
        {"数据记录", false, {"actAddNew", "actModify", "actDelete", "actPrint"}},
        {"查找", false, {"actLocate", "actSearch"}},
        {"逻辑检查", false, {"actCheckSelected", "actCheck", "actCheckResults"}},
        {"数据处理", false, {"actGroup", "actSum", "actCompleteness"}},
        {"导入导出",
         true,
         {"actImport", "actFastImport", "itemImportPreview", "itemImportHistory", "actBackup", "actExport"}},
        {"工具", false, {"actLabel", "actOptions", "actCompress", "actRecordGrid"}},
    };
    return menus;
}

const std::vector<const char*>& topLevelItems() {
    static const std::vector<const char*> items = {"actAbout", "actExit"};
    return items;
}

const std::vector<const char*>& popupItems() {
    static const std::vector<const char*> items = {
        "actAddNew", "actModify",        "actDelete", nullptr,         "actLocate", "actSearch",
        nullptr,     "actCheckSelected", nullptr,     "actRecordGrid", "actPrint"};
    return items;
}

QString statusVersionText(int buildNumber) {
    return QStringLiteral("开发单位：%1　软件版本：%2 (Build %3)")
        .arg(program::DeveloperName, program::ProgramVersion)
        .arg(buildNumber);
}

QString mainWindowCaption(const QString& label) {
    return QStringLiteral("2020年度全国Corvalis--基层工会调查表（离线工具） - ") + label;
}

} // namespace corvalis
