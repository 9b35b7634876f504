#include "SurveyDataForm.h"

#include "app/ui/CodePopup.h"

#include <QKeyEvent>
#include <QTabWidget>
#include <algorithm>

// Keyboard navigation of the entry form: Enter and Down go to the next box of the page and on to the
// next page, Up back; at the end of the last page Enter saves. The program's own focus moves run no
// exit rule.

namespace corvalis::records {

namespace {
bool takesFocus(const QWidget* box) {
    return box->isEnabled() && box->focusPolicy() != Qt::NoFocus && !box->isHidden();
}

// Enter, Down and Up without modifiers move between the boxes.
bool isMoveKey(const QKeyEvent* event) {
    const int code = event->key();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    return plain &&
           (code == Qt::Key_Return || code == Qt::Key_Enter || code == Qt::Key_Down || code == Qt::Key_Up);
}
} // namespace

QWidget* TdlgSurveyDataForm::neighbourOnPage(QWidget* from, bool forward) const {
    const int page = m_pageOf.value(from, -1);
    if (page < 0)
        return nullptr;
    const auto& boxes = m_pageOrder[size_t(page)];
    const auto at = std::find(boxes.begin(), boxes.end(), from);
    if (forward) {
        for (auto it = at + 1; it < boxes.end(); ++it)
            if (takesFocus(*it))
                return *it;
    } else {
        for (auto it = at; it != boxes.begin();)
            if (takesFocus(*--it))
                return *it;
    }
    return nullptr;
}

QWidget* TdlgSurveyDataForm::edgeOfPage(int page, bool first) const {
    const auto& boxes = m_pageOrder[size_t(page)];
    if (first) {
        for (QWidget* box : boxes)
            if (takesFocus(box))
                return box;
    } else {
        for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
            if (takesFocus(*it))
                return *it;
    }
    return nullptr;
}

void TdlgSurveyDataForm::focusQuietly(QWidget* box) {
    // The program putting the focus somewhere is not the user leaving a box: no exit rule runs, so
    // two invalid boxes cannot send the focus back and forth between them.
    m_refocusing = true;
    box->setFocus();
    m_refocusing = false;
}

void TdlgSurveyDataForm::focusEdge(int page, bool first) {
    if (QWidget* box = edgeOfPage(page, first))
        focusQuietly(box);
}

bool TdlgSurveyDataForm::handleMoveKey(QWidget* box, int keyCode) {
    const bool forward = keyCode != Qt::Key_Up;
    if (QWidget* next = neighbourOnPage(box, forward)) {
        next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    const int page = m_pages->currentIndex();
    if (forward && page == LastPage) {
        formalSave();
        return true;
    }
    // A refused change leaves the focus where the validation put it, on the field at fault.
    if (changePage(forward ? page + 1 : (page == 0 ? LastPage : page - 1)))
        focusEdge(m_pages->currentIndex(), forward);
    return true;
}

bool TdlgSurveyDataForm::handleKeyPress(QWidget* box, const QKeyEvent* event) {
    if (opensCodePicker(*event)) {
        CodeNameBox* picker = pickerBoxOf(box);
        if (!picker)
            return false;
        // The picker opens whatever the box holds: choosing from it is how an invalid code is mended.
        Q_EMIT picker->dropDownRequested();
        return true;
    }
    if (!isMoveKey(event))
        return false;
    const int code = event->key();
    guarded([this, box, code] { handleMoveKey(box, code); });
    return true;
}

} // namespace corvalis::records
