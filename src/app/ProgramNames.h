#pragma once

#include <QString>

namespace corvalis::program {

// The names the program goes by. The window, the command-line tool and the settings store take them
// from here, so both programs read and write the same settings and say the same about themselves.
inline const QString ProductName = QStringLiteral("Corvalis_基层工会（离线工具）");
inline const QString OrganisationName = QStringLiteral("Talvoren");
// The application name a desktop shows in window titles and dialogs.
inline const QString DisplayName = QStringLiteral("Corvalis 基层工会（离线工具）");
inline const QString DeveloperName = QStringLiteral("Orvanteq");
inline const QString ProgramVersion = QStringLiteral("1.0");

} // namespace corvalis::program
