#pragma once

#include <QDialog>
#include <vector>

class QTableWidget;

namespace corvalis::engine {
class Connection;
}

namespace corvalis::records {

// The administrative division picker: provinces, prefecture-level units and counties of
// CT_CityName in three lists. Opens at the selected code (110100 by default).
class TCityNameForm : public QDialog {
    Q_OBJECT
public:
    TCityNameForm(engine::Connection& connection, QWidget* parent = nullptr);

    void setSelectedId(qint64 id) { m_selectedId = id; }
    qint64 selectedId() const { return m_selectedId; }
    QString selectedName() const { return m_selectedName; }

    // Shows the lists at the selected code (what showing the picker does).
    void prepare();
    int province() const { return m_province; }
    int prefecture() const { return m_prefecture; }
    int county() const { return m_county; }

    // "确认选择": the current county, or the province when the county list is empty.
    void confirm();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Division {
        qint64 id = 0;
        int code1 = 0;
        int code2 = 0;
        int code3 = 0;
        QString name;
        QString combName;
    };
    using Divisions = std::vector<Division>;

    Divisions read(const QString& sql, const QVariantList& params);
    void fill(QTableWidget* grid, Divisions& rows, const Divisions& source, int current);
    void fillPrefectures();
    void fillCounties();
    void provinceChosen(int row);
    void prefectureChosen(int row);
    void countyChosen(int row);
    void countyDoubleClicked();
    const Division* currentOf(QTableWidget* grid, const Divisions& rows) const;

    engine::Connection& m_connection;
    QTableWidget* m_provinceGrid;
    QTableWidget* m_prefectureGrid;
    QTableWidget* m_countyGrid;
    Divisions m_provinces;
    Divisions m_prefectures;
    Divisions m_counties;
    qint64 m_selectedId = 110100;
    QString m_selectedName = QStringLiteral("北京市");
    int m_province = 0;
    int m_prefecture = 0;
    int m_county = 0;
};

} // namespace corvalis::records
