#include "app/DbSession.h"
#include "app/ProgramFolder.h"
#include "app/UiServices.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

namespace {
// Until the main window exists, the program shows the open database in a plain window.
class MessageBoxServices : public corvalis::UiServices {
public:
    void showMessage(const QString& text, const QString& caption, corvalis::MessageIcon) override {
        QMessageBox::information(nullptr, caption.isEmpty() ? QStringLiteral("提示信息") : caption, text);
    }
    bool askYesNo(const QString&, const QString&, corvalis::MessageIcon, bool) override { return false; }
    int askQuestion(const QString&, int) override { return corvalis::AskClosed; }
    std::optional<QString> promptText(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<corvalis::FileChoice> chooseOpenFile(const corvalis::FileRequest&) override { return {}; }
    std::optional<corvalis::FilesChoice> chooseOpenFiles(const corvalis::FileRequest&) override { return {}; }
    std::optional<corvalis::FileChoice> chooseSaveFile(const corvalis::FileRequest&) override { return {}; }
    void openWithShell(const QString&) override {}
    void keepResponsive() override { QApplication::processEvents(); }
    corvalis::ProgressReporter& progress() override { return m_progress; }

private:
    corvalis::SilentProgress m_progress;
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    MessageBoxServices ui;
    corvalis::DbSession session(corvalis::ProgramFolder::resolve(), ui);
    if (session.openDatabase() != corvalis::OpenOutcome::Opened)
        return 1;
    QLabel label(QStringLiteral("2020年度全国Corvalis--基层工会调查表（离线工具） - ") + session.label());
    label.resize(640, 120);
    label.show();
    return application.exec();
}
