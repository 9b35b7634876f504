#include "CliApplication.h"
#include "FoundationCommands.h"
#include "SummaryCommand.h"

namespace corvalis::cli {

void registerCommands(CliApplication& application) {
    application.add(std::make_unique<InitCommand>());
    application.add(std::make_unique<InfoCommand>());
    application.add(std::make_unique<GenerateCommand>());
    application.add(std::make_unique<SummaryCommand>());
}

} // namespace corvalis::cli
