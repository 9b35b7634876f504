#include "CompactCommand.h"

#include "CliUiServices.h"
#include "app/DbSession.h"

namespace corvalis::cli {

int CompactCommand::run(CliContext& context, const QCommandLineParser&) {
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    return session.compact() ? ExitSuccess : ExitFailure;
}

} // namespace corvalis::cli
