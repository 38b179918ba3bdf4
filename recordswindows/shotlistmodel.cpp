#include "recordswindows/shotlistmodel.h"

#include "records/sessionreport.h"
#include "recordswindows/recordshost.h"
#include "store/store.h"

#include <QBrush>
#include <QFont>

namespace qarn3 {

namespace {

const char* const kTitles[ShotListModel::ColumnCount] = {
    "Taken",  "Site", "Breaker", "Pole",  "Kind",    "Current", "Seconds",
    "Cycles", "x In", "Band",    "Basis", "Verdict", "Flags"};

} // namespace

ShotListModel::ShotListModel(char decimalSeparator, QObject* parent)
    : QAbstractTableModel(parent), m_separator(decimalSeparator) {}

RecordsError ShotListModel::setFilter(RecordsDatabase& db, const ShotFilter& filter) {
    beginResetModel();
    m_db = &db;
    m_filter = filter;
    m_rows.clear();
    m_ids.clear();
    m_above.clear();
    m_read = 0;
    m_error = {};
    m_total = RecordsStore(db).countShots(filter, m_error);
    endResetModel();
    if (!m_error && m_total > 0) fetchMore({});
    if (m_error) emit listed();
    return m_error;
}

RecordsError ShotListModel::refresh() {
    if (!m_db) return {};
    return setFilter(*m_db, m_filter);
}

void ShotListModel::clear() {
    beginResetModel();
    m_db = nullptr;
    m_rows.clear();
    m_ids.clear();
    m_above.clear();
    m_total = m_read = 0;
    m_error = {};
    endResetModel();
    emit listed();
}

ShotRow ShotListModel::rowAt(int row) const {
    const Row& r = m_rows.at(static_cast<std::size_t>(row));
    ShotRow out = *r.above;
    out.shot = r.shot;
    return out;
}

int ShotListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ShotListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool ShotListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_db && !m_error && m_read < m_total;
}

void ShotListModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    std::vector<ShotRow> page = RecordsStore(*m_db).listShots(
        m_filter, ShotOrder::NewestFirst, static_cast<int>(m_read), kPageSize, m_error);
    m_read += static_cast<std::int64_t>(page.size());
    // Fewer than asked: the list ends here, whatever the count said.
    if (!m_error && static_cast<int>(page.size()) < kPageSize) m_total = m_read;
    std::vector<Row> fresh;
    fresh.reserve(page.size());
    for (ShotRow& s : page) {
        if (!m_ids.insert(s.shot.id).second) continue;
        auto& above = m_above[s.point.id];
        if (!above) {
            auto context = std::make_shared<ShotRow>(s);
            context->shot = {};
            above = std::move(context);
        }
        fresh.push_back({std::move(s.shot), above});
    }
    if (!fresh.empty()) {
        const int first = static_cast<int>(m_rows.size());
        beginInsertRows({}, first, first + static_cast<int>(fresh.size()) - 1);
        for (Row& r : fresh)
            m_rows.push_back(std::move(r));
        endInsertRows();
    }
    emit listed();
}

QString ShotListModel::cellText(const Row& r, int column) const {
    const ShotRecord& s = r.shot;
    const ShotRow& a = *r.above;
    std::string t;
    switch (column) {
    case Taken:
        t = shotTimeText(s.reading.takenAt);
        break;
    case Site:
        t = a.site.name;
        break;
    case Breaker:
        t = a.breaker.designation;
        break;
    case Pole:
        t = poleText(a.point.pole);
        break;
    case Kind:
        t = kindText(a.point.kind);
        break;
    case Current:
        t = currentText(s.reading, m_separator);
        break;
    case Seconds:
        t = secondsText(s.reading.seconds, m_separator);
        break;
    case Cycles:
        t = cyclesText(s.reading.cycles, m_separator);
        break;
    case Multiple:
        t = multipleText(s.multiple, m_separator);
        break;
    case Band: {
        ShotRow row = a;
        row.shot = s;
        t = bandText(row, {}, m_separator);
        // A note the band does not already show ("short-time acts at this current"), as the
        // report says it under the row.
        if (!s.basis.note.empty() && s.basis.note != t) t += ", " + s.basis.note;
        break;
    }
    case Basis:
        t = bandBasisText(s, m_separator);
        break;
    case VerdictColumn:
        t = verdictText(s.judgement.verdict);
        break;
    case OffTarget:
        t = offTargetText(s);
        break;
    default:
        break;
    }
    return shownText(t);
}

QVariant ShotListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
    const Row& r = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return cellText(r, index.column());
    case Qt::BackgroundRole:
        return QBrush(verdictRowColour(r.shot.judgement.verdict));
    case Qt::ForegroundRole:
        return QBrush(index.column() == VerdictColumn ? verdictMarkColour(r.shot.judgement.verdict)
                                                      : QColor(Qt::black));
    case Qt::FontRole:
        if (index.column() == VerdictColumn ||
            (index.column() == OffTarget &&
             (r.shot.judgement.currentOffTarget || r.shot.basis.nearPickup))) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        // The basis in full where its column is narrower than it.
        if (index.column() == Basis) return cellText(r, Basis);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() >= Current && index.column() <= Multiple)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ShotListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= ColumnCount) return {};
    return QString(kTitles[section]);
}

} // namespace qarn3
