#pragma once

#include "records/rows.h"
#include "store/database.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qarn3 {

// The browse list: the shots a filter takes, newest first, read a page at a time as the view
// scrolls (canFetchMore / fetchMore), counted once. Each row in its verdict's colour. The
// rows above a shot (site to test point) are kept once per test point.
class ShotListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Taken,
        Site,
        Breaker,
        Pole,
        Kind,
        Current,
        Seconds,
        Cycles,
        Multiple,
        Band,
        Basis, // where the band came from (bandBasisText)
        VerdictColumn,
        OffTarget, // the flags: current off target, current near pickup
        ColumnCount
    };
    static constexpr int kPageSize = 200;

    explicit ShotListModel(char decimalSeparator, QObject* parent = nullptr);

    // Lists what the filter takes on the database (which must outlive the listing, or be
    // replaced by another setFilter or clear): counts it and reads the first page.
    RecordsError setFilter(RecordsDatabase& db, const ShotFilter& filter);
    // Lists the same filter anew (shots stored since come in).
    RecordsError refresh();
    void clear();

    const ShotFilter& filter() const { return m_filter; }
    std::int64_t total() const { return m_total; }
    // The last read's error (a page that could not be read).
    const RecordsError& lastError() const { return m_error; }
    // The shot of a row with the records above it.
    ShotRow rowAt(int row) const;
    const ShotRecord& shotAt(int row) const {
        return m_rows.at(static_cast<std::size_t>(row)).shot;
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // A page was read (or failed to be): the count of listed rows changed.
    void listed();

private:
    struct Row {
        ShotRecord shot;
        std::shared_ptr<const ShotRow> above; // site, breaker, session, test point
    };
    QString cellText(const Row& r, int column) const;

    char m_separator;
    RecordsDatabase* m_db = nullptr;
    ShotFilter m_filter;
    std::int64_t m_total = 0;
    // Rows read so far: the offset of the next page. A shot stored since the listing began
    // moves the pages by one; one already listed is not listed twice.
    std::int64_t m_read = 0;
    RecordsError m_error;
    std::vector<Row> m_rows;
    std::unordered_set<std::string> m_ids;
    std::unordered_map<std::string, std::shared_ptr<const ShotRow>> m_above; // by test point
};

} // namespace qarn3
