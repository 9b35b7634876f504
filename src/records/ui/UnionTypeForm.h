#pragma once

#include <QDialog>
#include <vector>

class QTableWidget;

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// The industry category picker: the categories of CT_UnionDomain and the entries of the current
// category. Opens at the selected code ("A01" by default).
class TUnionTypeForm : public QDialog {
    Q_OBJECT
public:
    TUnionTypeForm(engine::Connection& connection, QWidget* parent = nullptr);

    void setSelectedCode(const QString& code) { m_selectedCode = code; }
    QString selectedCode() const { return m_selectedCode; }
    QString selectedName() const { return m_selectedName; }

    // Shows the lists at the selected code (what showing the picker does).
    void prepare();
    QString letter() const { return m_letter; }
    int number() const { return m_number; }

    // "确认选择": the current entry, or the category itself when its list is empty.
    void confirm();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Domain {
        QString id;
        QString code1;
        int code2 = 0;
        QString name;
        QString combName;
    };
    using Domains = std::vector<Domain>;

    Domains read(const QString& sql, const QVariantList& params);
    void fillEntries();
    void categoryChosen(int row);
    void entryChosen(int row);

    engine::Connection& m_connection;
    QTableWidget* m_categoryGrid;
    QTableWidget* m_entryGrid;
    Domains m_categories;
    Domains m_entries;
    QString m_selectedCode = QStringLiteral("A01");
    QString m_selectedName;
    QString m_letter;
    int m_number = 0;
};

} // namespace corvalis::records
