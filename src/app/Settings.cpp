#include "Settings.h"

#include "ProgramNames.h"

#include <QDir>
#include <QStandardPaths>

namespace corvalis {

namespace {

enum class Kind { Text, Integer };

struct SettingInfo {
    Setting setting;
    const char* group; // empty: the product key itself
    const char* name;
    Kind kind;
    const char* defaultText;
    qint64 defaultInteger;
};

const SettingInfo settingTable[] = {
    {Setting::Version, "", "Version", Kind::Text, "000", 0},
    {Setting::ServicePack, "", "ServicePack", Kind::Text, "", 0},
    {Setting::FilePath, "", "FilePath", Kind::Text, "", 0},
    {Setting::AppType, "", "AppTyp", Kind::Integer, "", 0},
    {Setting::ShowGrid, "", "ShowGrid", Kind::Integer, "", 1},
    {Setting::ImePrefer, "Options/EnvSetting", "ImePrefer", Kind::Text, "", 0},
    {Setting::InputWndStyle, "Options/EnvSetting", "InputWndStyle", Kind::Integer, "", 0},
    {Setting::OrganisationName, "Options/EnvSetting", "OrganisationName", Kind::Text, "", 0},
    {Setting::ImportPrinciple, "Options/EnvSetting", "ImportPrinciple", Kind::Integer, "", 0},
    {Setting::AppLastCity, "Options/EnvSetting", "AppLastCity", Kind::Integer, "", 0},
    {Setting::FillerName, "Data", "c910", Kind::Text, "", 0},
    {Setting::Telephone, "Data", "c911", Kind::Text, "", 0},
    {Setting::ListExportOnlyShown, "Data", "CheckBox1", Kind::Integer, "", 0},
};

const SettingInfo& info(Setting setting) {
    for (const SettingInfo& entry : settingTable)
        if (entry.setting == setting)
            return entry;
    return settingTable[0];
}

QString keyOf(const SettingInfo& entry) {
    const QString group = QString::fromLatin1(entry.group);
    const QString name = QString::fromLatin1(entry.name);
    return group.isEmpty() ? name : group + QLatin1Char('/') + name;
}

} // namespace

Settings::Settings()
    : m_store(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                          program::OrganisationName, program::ProductName)) {}

Settings::Settings(const QString& iniFile)
    : m_store(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

bool Settings::contains(Setting setting) const {
    return m_store->contains(keyOf(info(setting)));
}

QString Settings::text(Setting setting) const {
    const SettingInfo& entry = info(setting);
    const QString value = m_store->value(keyOf(entry)).toString();
    return value.isEmpty() ? QString::fromUtf8(entry.defaultText) : value;
}

qint64 Settings::integer(Setting setting) const {
    const SettingInfo& entry = info(setting);
    bool ok = false;
    const qint64 value = m_store->value(keyOf(entry)).toString().trimmed().toLongLong(&ok);
    return ok ? value : entry.defaultInteger;
}

// Every write is flushed at once (a disk sync each), so a value already stored is not written again:
// the entry form remembers its defaults on every save.
void Settings::setText(Setting setting, const QString& value) {
    const QString key = keyOf(info(setting));
    if (m_store->contains(key) && m_store->value(key).toString() == value)
        return;
    m_store->setValue(key, value);
    m_store->sync();
}

void Settings::setInteger(Setting setting, qint64 value) {
    const QString key = keyOf(info(setting));
    if (m_store->contains(key) && m_store->value(key).toString() == QString::number(value))
        return;
    m_store->setValue(key, value);
    m_store->sync();
}

void Settings::initSettings(const QString& programFolder) {
    if (text(Setting::Version) != QLatin1String("000")) {
        preferredInputMethod = text(Setting::ImePrefer);
        simpleInputWindow = integer(Setting::InputWndStyle) != 0;
        return;
    }
    setText(Setting::ServicePack, QStringLiteral("None"));
    setText(Setting::FilePath, QDir::toNativeSeparators(programFolder) + QDir::separator());
    setInteger(Setting::AppType, 0);
    setText(Setting::ImePrefer, QString());
    setInteger(Setting::InputWndStyle, 0);
}

QString Settings::documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace corvalis
