#include "CheckCommand.h"
#include "CliApplication.h"
#include "CompactCommand.h"
#include "ExchangeCliCommands.h"
#include "FoundationCommands.h"
#include "ImportPreviewCommands.h"
#include "PrintCommand.h"
#include "RosterCommands.h"
#include "SearchCommands.h"
#include "SummaryCommand.h"

namespace corvalis::cli {

void registerCommands(CliApplication& application) {
    application.add(std::make_unique<InitCommand>());
    application.add(std::make_unique<InfoCommand>());
    application.add(std::make_unique<GenerateCommand>());
    application.add(std::make_unique<CheckCommand>());
    application.add(std::make_unique<ExportReportCommand>());
    application.add(std::make_unique<PreviewingImportCommand>());
    application.add(std::make_unique<ImportsCommand>());
    application.add(std::make_unique<UndoImportCommand>());
    application.add(std::make_unique<BackupCommand>());
    application.add(std::make_unique<RestoreCommand>());
    application.add(std::make_unique<TidyCommand>());
    application.add(std::make_unique<CompactCommand>());
    application.add(std::make_unique<ExportNetworkCommand>());
    application.add(std::make_unique<DecryptNetworkCommand>());
    application.add(std::make_unique<ImportCsvCommand>());
    application.add(std::make_unique<PrintCommand>());
    application.add(std::make_unique<ExportListCommand>());
    application.add(std::make_unique<SummaryCommand>());
    application.add(std::make_unique<RosterCommand>());
    application.add(std::make_unique<CompletenessCommand>());
}

} // namespace corvalis::cli
