#pragma once

#include "app/ui/RecordList.h"
#include "search/RecordDeletion.h"

namespace corvalis::search {

// A record list seen by the deletion: keys of selected rows, never row numbers.
class RecordListDeletion : public DeletionList {
public:
    explicit RecordListDeletion(RecordList& list) : m_list(list) {}
    bool isEmpty() const override { return m_list.isEmpty(); }
    QList<UnionCode> selectedKeys() const override;
    std::optional<UnionCode> currentKey() const override { return m_list.currentCode(); }
    bool showKey(UnionCode key) override;
    void refreshKeepingPosition() override { m_list.refreshKeepingPosition(); }

private:
    RecordList& m_list;
};

} // namespace corvalis::search
