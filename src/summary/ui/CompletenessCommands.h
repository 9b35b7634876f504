#pragma once

#include "CompletenessWindow.h"

namespace corvalis {
class CommandHost;
}

namespace corvalis::summary {

// Attaches 上报情况 (actCompleteness) to the main window; the importer reads roster files.
void installCompletenessCommands(CommandHost& window, TdlgCompletenessForm::RosterImporter importer);

} // namespace corvalis::summary
