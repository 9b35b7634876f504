#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace corvalis {

// Every setting of the program, declared once in the table of Settings.cpp.
enum class Setting {
    Version,             // product key; written by an installer only
    ServicePack,         // product key; first run
    FilePath,            // product key; first run: the program folder
    AppType,             // product key "AppTyp"; first run
    ShowGrid,            // product key; start-up
    ImePrefer,           // Options/EnvSetting: the preferred input method
    InputWndStyle,       // Options/EnvSetting: 0 传统, 1 简约
    OrganisationName,    // Options/EnvSetting
    ImportPrinciple,     // Options/EnvSetting: 1 只放弃出错的数据
    AppLastCity,         // Options/EnvSetting: the last division code saved
    FillerName,          // Data "c910": the last form filler
    Telephone,           // Data "c911": the last telephone
    ListExportOnlyShown, // Data "CheckBox1"
};

// The program's settings, kept with QSettings in an INI file of the user (organisation "Talvoren",
// application "Corvalis_基层工会（离线工具）"), under the groups of the old registry keys. Reads fall back
// to the declared default when a value is missing, empty (texts) or of the wrong type (numbers).
// Also holds the in-memory settings of a run.
class Settings {
public:
    // The user's settings file.
    Settings();
    // A settings file of the caller's choice (tests).
    explicit Settings(const QString& iniFile);

    QString text(Setting setting) const;
    qint64 integer(Setting setting) const;
    bool flag(Setting setting) const { return integer(setting) != 0; }
    void setText(Setting setting, const QString& value);
    void setInteger(Setting setting, qint64 value);
    void setFlag(Setting setting, bool value) { setInteger(setting, value ? 1 : 0); }
    bool contains(Setting setting) const;

    // Start-up: with no Version value (every start unless an installer wrote one) the first-run
    // values are written again and the in-memory settings keep their initial values; otherwise the
    // preferred input method and the input window style are read.
    void initSettings(const QString& programFolder);

    // The user's documents folder, the initial folder of file dialogs.
    static QString documentsFolder();
    // The initial folder of the group transfer dialogs: none on this platform.
    static QString groupTransferFolder() { return QString(); }

    // In-memory settings of the run.
    QString preferredInputMethod;
    bool simpleInputWindow = false;
    bool importPrinciple = false; // false: 有错就全部放弃; true: 只放弃出错的数据

    QSettings& store() { return *m_store; }

private:
    std::unique_ptr<QSettings> m_store;
};

} // namespace corvalis
