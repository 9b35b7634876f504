#include "EntryFormHooks.h"

namespace corvalis::records {

namespace {
std::function<void(const PageCheckRequest&)>& pageCheck() {
    static std::function<void(const PageCheckRequest&)> check;
    return check;
}

LogicListHooks& listHooks() {
    static LogicListHooks hooks;
    return hooks;
}

std::function<void(QWidget*, double)>& printHook() {
    static std::function<void(QWidget*, double)> print;
    return print;
}
std::function<void(QWidget*, double)>& printPreviewHook() {
    static std::function<void(QWidget*, double)> preview;
    return preview;
}
} // namespace

void setPageLogicCheck(std::function<void(const PageCheckRequest&)> check) {
    pageCheck() = std::move(check);
}

void runPageLogicCheck(const PageCheckRequest& request) {
    if (pageCheck())
        pageCheck()(request);
}

void setLogicListHooks(LogicListHooks hooks) {
    listHooks() = std::move(hooks);
}

const LogicListHooks& logicListHooks() {
    return listHooks();
}

void setPrintHook(std::function<void(QWidget* form, double code)> print) {
    printHook() = std::move(print);
}

void runPrintHook(QWidget* form, double code) {
    if (printHook())
        printHook()(form, code);
}

void setPrintPreviewHook(std::function<void(QWidget* form, double code)> preview) {
    printPreviewHook() = std::move(preview);
}

void runPrintPreviewHook(QWidget* form, double code) {
    if (printPreviewHook())
        printPreviewHook()(form, code);
}

} // namespace corvalis::records
