#include "widgets/listview.h"

#include "platform/qtext.h"
#include "widgets/templatedialog.h"

#include <QAbstractTableModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cctype>
#include <optional>
#include <strings.h>
#include <thread>
#include <unordered_set>

namespace {

// The average character width of the dialog font that the templates' pixel
// widths were laid out for.
constexpr int kTemplateBaseUnitX = 6;

} // namespace

// The rows: item data, and for rows that keep texts of their own, the
// number of those texts in a table beside the rows. A view's row without a
// status keeps nothing else: eight bytes. A filtered list shows the rows
// whose positions among all rows are in shown, in ascending order: four
// bytes more for each row shown.
class ListModel final : public QAbstractTableModel {
public:
    using Texts = ListView::OwnTexts;
    static constexpr std::uint32_t kNoTexts = 0xFFFFFFFFu;
    struct Row {
        std::uint32_t itemData;
        std::uint32_t texts = kNoTexts;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : count();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return ToQt(text(index.row(), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= static_cast<int>(columns.size()))
            return {};
        return ToQt(columns[static_cast<std::size_t>(section)].title);
    }

    // The rows shown.
    int count() const { return static_cast<int>(filter ? shown.size() : rows.size()); }
    // The position among all rows of a row shown.
    std::size_t position(int row) const {
        const auto at = static_cast<std::size_t>(row);
        return filter ? shown[at] : at;
    }
    Row& at(int row) { return rows[position(row)]; }
    const Row& at(int row) const { return rows[position(row)]; }
    const Texts* own(const Row& r) const { return r.texts != kNoTexts ? &texts[r.texts] : nullptr; }
    bool accepts(const Row& r) const { return filter(r.itemData, own(r)); }
    // Which of all rows are shown, as flags by position.
    std::vector<std::uint8_t> shownFlags() const {
        std::vector<std::uint8_t> flags(rows.size(), 0);
        for (std::uint32_t position : shown)
            flags[position] = 1;
        return flags;
    }

    std::string text(int row, int column) const {
        if (row < 0 || row >= count() || column < 0)
            return {};
        const Row& r = at(row);
        const auto c = static_cast<std::size_t>(column);
        if (r.texts != kNoTexts) {
            const Texts& own = texts[r.texts];
            if (c < own.size() && own[c].has_value())
                return *own[c];
        }
        return source ? source(r.itemData, column) : std::string();
    }

    void store(Row& r, int column, const std::string& value) {
        if (r.texts == kNoTexts) {
            if (freeTexts.empty()) {
                r.texts = static_cast<std::uint32_t>(texts.size());
                texts.emplace_back();
            } else {
                r.texts = freeTexts.back();
                freeTexts.pop_back();
            }
        }
        Texts& own = texts[r.texts];
        const auto c = static_cast<std::size_t>(column);
        if (own.size() <= c)
            own.resize(c + 1);
        own[c] = value;
    }

    // Gives back the texts of a row that goes.
    void release(const Row& r) {
        if (r.texts == kNoTexts)
            return;
        texts[r.texts].clear();
        freeTexts.push_back(r.texts);
    }

    void clearRows() {
        rows.clear();
        shown.clear();
        texts.clear();
        freeTexts.clear();
    }

    void setText(int row, int column, const std::string& value) {
        store(at(row), column, value);
        const QModelIndex changed = index(row, column);
        Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
    }

    void insert(int first, int last, const std::function<void()>& change) {
        beginInsertRows(QModelIndex(), first, last);
        change();
        endInsertRows();
    }

    void reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }

    std::vector<ListView::Column> columns;
    std::vector<Row> rows;
    std::vector<Texts> texts;
    std::vector<std::uint32_t> freeTexts;
    ListView::TextSource source;
    ListView::RowFilter filter;
    std::vector<std::uint32_t> shown;
};

// Shows the selection on the first column only, as a report list without
// full-row selection does; the row is selected all the same.
class FirstColumnSelectionDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() > 0)
            option->state &= ~QStyle::State_Selected;
    }
};

MarkedHeader::MarkedHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

void MarkedHeader::SetMark(int column, const QPixmap& mark) {
    if (column < 0)
        return;
    if (static_cast<std::size_t>(column) >= m_marks.size())
        m_marks.resize(static_cast<std::size_t>(column) + 1);
    m_marks[static_cast<std::size_t>(column)] = mark;
    viewport()->update();
}

QPixmap MarkedHeader::Mark(int column) const {
    if (column < 0 || static_cast<std::size_t>(column) >= m_marks.size())
        return {};
    return m_marks[static_cast<std::size_t>(column)];
}

void MarkedHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    // The base class leaves the painter clipped to nothing once it is done
    // with a section; the mark is drawn with the painter as it was given.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const QPixmap mark = Mark(logicalIndex);
    if (mark.isNull())
        return;
    const int x = rect.right() - mark.width() - 4;
    const int y = rect.top() + (rect.height() - mark.height()) / 2;
    if (x > rect.left())
        painter->drawPixmap(x, y, mark);
}

ListView::ListView(QWidget* parent)
    : QTableView(parent), m_model(new ListModel(this)), m_header(new MarkedHeader(this)) {
    setHorizontalHeader(m_header);
    setModel(m_model);
    setItemDelegate(new FirstColumnSelectionDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    m_header->setStretchLastSection(false);
    m_header->setSectionsMovable(false);
    m_header->setSectionsClickable(true);
    m_header->setHighlightSections(false);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(m_header, &QHeaderView::sectionClicked, this, &ListView::headerClicked);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListView::OnSelectionChanged);
}

ListView::~ListView() = default;

int ListView::ScaledWidth(int templatePixels) const {
    const int unit = TemplateDialog::BaseUnits(font()).width();
    return (templatePixels * unit + kTemplateBaseUnitX / 2) / kTemplateBaseUnitX;
}

void ListView::SetColumns(const std::vector<Column>& columns) {
    Reshape([&] {
        m_model->clearRows();
        m_model->columns = columns;
    });
    m_selectedCount = 0;
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    // The item delegate leaves this much room on either side of a text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        int width = ScaledWidth(columns[i].width);
        if (!columns[i].widest.empty())
            width = std::max(width, fontMetrics().horizontalAdvance(ToQt(columns[i].widest)) +
                                        2 * margin + 1);
        setColumnWidth(static_cast<int>(i), width);
    }
}

int ListView::ColumnCount() const {
    return static_cast<int>(m_model->columns.size());
}

std::string ListView::ColumnTitle(int column) const {
    if (column < 0 || column >= ColumnCount())
        return {};
    return m_model->columns[static_cast<std::size_t>(column)].title;
}

std::vector<int> ListView::ShownColumns() const {
    std::vector<int> shown;
    for (int visual = 0; visual < ColumnCount(); ++visual) {
        const int column = horizontalHeader()->logicalIndex(visual);
        if (column >= 0 && !horizontalHeader()->isSectionHidden(column))
            shown.push_back(column);
    }
    return shown;
}

void ListView::SetSingleSelection(bool single) {
    setSelectionMode(single ? QAbstractItemView::SingleSelection
                            : QAbstractItemView::ExtendedSelection);
}

void ListView::SetHeaderClickable(bool clickable) {
    m_header->setSectionsClickable(clickable);
}

void ListView::SetTextSource(TextSource source) {
    m_model->reset([&] { m_model->source = std::move(source); });
}

int ListView::InsertRow(int at, const std::string& text, std::uint32_t itemData) {
    const int count = RowCount();
    const int row = at < 0 || at > count ? count : at;
    ListModel::Row r{itemData};
    m_model->store(r, 0, text);
    if (!m_model->filter) {
        m_model->insert(row, row, [&] { m_model->rows.insert(m_model->rows.begin() + row, r); });
        return row;
    }
    // Among all rows, before the row shown at that place.
    const std::size_t position = row < count ? m_model->position(row) : m_model->rows.size();
    auto place = [&] {
        m_model->rows.insert(m_model->rows.begin() + static_cast<std::ptrdiff_t>(position), r);
        for (std::uint32_t& shown : m_model->shown) {
            if (shown >= position)
                ++shown;
        }
    };
    if (!m_model->accepts(r)) {
        place();
        return -1;
    }
    m_model->insert(row, row, [&] {
        place();
        m_model->shown.insert(m_model->shown.begin() + row, static_cast<std::uint32_t>(position));
    });
    return row;
}

void ListView::AppendItems(const std::vector<std::uint32_t>& itemData) {
    if (itemData.empty())
        return;
    const int first = RowCount();
    auto append = [&] {
        // Rows appended batch by batch grow the list by half at least, not
        // by each batch alone.
        const std::size_t wanted = m_model->rows.size() + itemData.size();
        if (wanted > m_model->rows.capacity())
            m_model->rows.reserve(std::max(wanted, m_model->rows.capacity() * 3 / 2));
        for (std::uint32_t item : itemData)
            m_model->rows.push_back({item});
    };
    if (!m_model->filter) {
        m_model->insert(first, first + static_cast<int>(itemData.size()) - 1, append);
        return;
    }
    // New rows keep no texts of their own yet.
    std::vector<std::uint32_t> shown;
    const std::size_t base = m_model->rows.size();
    for (std::size_t i = 0; i < itemData.size(); ++i) {
        if (m_model->filter(itemData[i], nullptr))
            shown.push_back(static_cast<std::uint32_t>(base + i));
    }
    if (shown.empty()) {
        append(); // nothing the view shows changes
        return;
    }
    m_model->insert(first, first + static_cast<int>(shown.size()) - 1, [&] {
        append();
        m_model->shown.insert(m_model->shown.end(), shown.begin(), shown.end());
    });
}

void ListView::SetText(int row, int column, const std::string& text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount())
        return;
    m_model->setText(row, column, text);
}

std::string ListView::Text(int row, int column) const {
    return m_model->text(row, column);
}

std::uint32_t ListView::ItemData(int row) const {
    if (row < 0 || row >= RowCount())
        return 0;
    return m_model->at(row).itemData;
}

int ListView::RowCount() const {
    return m_model->count();
}

int ListView::AllRowCount() const {
    return static_cast<int>(m_model->rows.size());
}

bool ListView::IsFiltered() const {
    return static_cast<bool>(m_model->filter);
}

std::vector<std::uint32_t> ListView::SetFilter(RowFilter filter, RowAhead ahead,
                                               const FilterShare& share) {
    return ApplyFilter(std::move(filter), ahead, share, false);
}

std::vector<std::uint32_t> ListView::NarrowFilter(RowFilter filter, RowAhead ahead,
                                                  const FilterShare& share) {
    return ApplyFilter(std::move(filter), ahead, share, true);
}

std::vector<std::uint32_t> ListView::ApplyFilter(RowFilter filter, const RowAhead& ahead,
                                                 const FilterShare& share, bool shownOnly) {
    if (!filter) {
        ClearFilter();
        return {};
    }
    // How many rows before its test a row is announced.
    constexpr std::size_t kAhead = 8;
    // Fewer rows are tested on one thread: starting others costs more.
    constexpr std::size_t kRowsForThreads = 65536;
    const std::vector<ListModel::Row>& rows = m_model->rows;
    const bool some = shownOnly && m_model->filter;
    const std::size_t n = some ? m_model->shown.size() : rows.size();
    auto position = [&](std::size_t i) {
        return some ? m_model->shown[i] : static_cast<std::uint32_t>(i);
    };
    auto test = [&](const RowFilter& accepts, const RowAhead& told, std::size_t from,
                    std::size_t to, std::vector<std::uint32_t>& shown) {
        for (std::size_t i = from; i < to; ++i) {
            if (told && i + kAhead < to)
                told(rows[position(i + kAhead)].itemData);
            const ListModel::Row& r = rows[position(i)];
            if (accepts(r.itemData, m_model->own(r)))
                shown.push_back(position(i));
        }
    };
    const std::size_t threads =
        share && n >= kRowsForThreads
            ? std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8)
            : 1;
    std::vector<std::vector<std::uint32_t>> parts(threads);
    {
        std::vector<std::pair<RowFilter, RowAhead>> shares;
        for (std::size_t t = 1; t < threads; ++t)
            shares.push_back(share());
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < threads; ++t) {
            workers.emplace_back([&, t] {
                test(shares[t - 1].first, shares[t - 1].second, n * t / threads,
                     n * (t + 1) / threads, parts[t]);
            });
        }
        test(filter, ahead, 0, n / threads, parts[0]);
    } // the workers are joined here
    std::vector<std::uint32_t> shown = std::move(parts[0]);
    for (std::size_t t = 1; t < threads; ++t)
        shown.insert(shown.end(), parts[t].begin(), parts[t].end());
    return Reshape([&] {
        m_model->filter = std::move(filter);
        m_model->shown = std::move(shown);
    });
}

void ListView::ClearFilter() {
    if (!m_model->filter)
        return;
    Reshape([&] {
        m_model->filter = nullptr;
        m_model->shown.clear();
        m_model->shown.shrink_to_fit();
    });
}

void ListView::DeleteAllRows() {
    Reshape([&] { m_model->clearRows(); });
}

void ListView::RemoveRows(const std::function<bool(std::uint32_t)>& remove) {
    Reshape([&] {
        std::vector<ListModel::Row>& rows = m_model->rows;
        const bool filtered = static_cast<bool>(m_model->filter);
        std::vector<std::uint8_t> shown =
            filtered ? m_model->shownFlags() : std::vector<std::uint8_t>();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (remove(rows[i].itemData)) {
                m_model->release(rows[i]);
                continue;
            }
            rows[kept] = rows[i];
            if (filtered)
                shown[kept] = shown[i];
            ++kept;
        }
        rows.resize(kept);
        if (filtered) {
            m_model->shown.clear();
            for (std::size_t i = 0; i < kept; ++i) {
                if (shown[i] != 0)
                    m_model->shown.push_back(static_cast<std::uint32_t>(i));
            }
        }
    });
}

int ListView::FindItemData(std::uint32_t itemData) const {
    for (int i = 0; i < RowCount(); ++i) {
        if (m_model->at(i).itemData == itemData)
            return i;
    }
    return -1;
}

int ListView::FindText(const std::string& text) const {
    for (int i = 0; i < RowCount(); ++i) {
        if (strcasecmp(Text(i, 0).c_str(), text.c_str()) == 0)
            return i;
    }
    return -1;
}

void ListView::Reorder(const std::vector<std::uint32_t>& order) {
    Reshape([&] {
        std::vector<ListModel::Row> sorted;
        sorted.reserve(order.size());
        for (std::uint32_t old : order)
            sorted.push_back(m_model->rows[old]);
        m_model->rows = std::move(sorted);
        if (!m_model->filter)
            return;
        // The rows shown stay shown, in their new places.
        const std::vector<std::uint8_t> shown = m_model->shownFlags();
        m_model->shown.clear();
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (shown[order[i]] != 0)
                m_model->shown.push_back(static_cast<std::uint32_t>(i));
        }
    });
}

void ListView::SortByNumber(const std::function<std::uint64_t(std::uint32_t)>& key,
                            bool largerFirst) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed(m_model->rows.size());
    for (std::uint32_t i = 0; i < keyed.size(); ++i)
        keyed[i] = {key(m_model->rows[i].itemData), i};
    std::stable_sort(keyed.begin(), keyed.end(), [largerFirst](const auto& a, const auto& b) {
        return largerFirst ? a.first > b.first : a.first < b.first;
    });
    std::vector<std::uint32_t> order(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        order[i] = keyed[i].second;
    Reorder(order);
}

void ListView::SortByText(const std::function<const char*(std::uint32_t)>& key) {
    // Each text's first eight characters, lower-cased, as one big-endian
    // number: comparing the numbers compares those characters as strcasecmp
    // does, so most comparisons touch neither the texts nor their records.
    struct Keyed {
        std::uint64_t prefix;
        const char* text;
        std::uint32_t row;
    };
    std::vector<Keyed> keyed(m_model->rows.size());
    for (std::uint32_t i = 0; i < keyed.size(); ++i) {
        const char* text = key(m_model->rows[i].itemData);
        if (text == nullptr)
            text = "";
        std::uint64_t prefix = 0;
        bool ended = false;
        for (int c = 0; c < 8; ++c) {
            const auto byte = static_cast<unsigned char>(ended ? 0 : text[c]);
            ended = ended || byte == 0;
            prefix = prefix << 8 | static_cast<unsigned char>(std::tolower(byte));
        }
        keyed[i] = {prefix, text, i};
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        // Equal prefixes: a text that ended within them equals the other.
        if ((a.prefix & 0xFF) == 0)
            return false;
        return strcasecmp(a.text + 8, b.text + 8) < 0;
    });
    std::vector<std::uint32_t> order(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        order[i] = keyed[i].row;
    Reorder(order);
}

std::vector<std::uint32_t> ListView::Reshape(const std::function<void()>& change) {
    // The selected rows are remembered by item data: as flags indexed by item
    // data where those are dense (catalog indexes, project numbers), else in
    // a set.
    const QItemSelection selection = selectionModel()->selection();
    // Rows of a selection range or of the list: no bounds to check.
    auto dataOf = [this](int row) { return m_model->at(row).itemData; };
    std::uint32_t maxData = 0;
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            maxData = std::max(maxData, dataOf(r));
    }
    const bool dense =
        static_cast<std::uint64_t>(maxData) <= 4ull * static_cast<std::uint64_t>(RowCount()) + 1024;
    std::vector<std::uint8_t> flags;
    std::unordered_set<std::uint32_t> set;
    std::unordered_set<std::uint32_t> kept;
    if (!selection.isEmpty() && dense)
        flags.assign(static_cast<std::size_t>(maxData) + 1, 0);
    for (const QItemSelectionRange& range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r) {
            if (dense)
                flags[dataOf(r)] = 1;
            else
                set.insert(dataOf(r));
        }
    }
    auto wasSelected = [&](std::uint32_t item) {
        return dense ? item < flags.size() && flags[item] != 0 : set.count(item) != 0;
    };

    m_quiet = true;
    m_model->reset(change);
    QItemSelection keep;
    int count = 0;
    if (!selection.isEmpty()) {
        for (int row = 0; row < RowCount();) {
            if (!wasSelected(dataOf(row))) {
                ++row;
                continue;
            }
            int last = row;
            while (last + 1 < RowCount() && wasSelected(dataOf(last + 1)))
                ++last;
            for (int r = row; r <= last; ++r) {
                if (dense)
                    flags[dataOf(r)] = 2;
                else
                    kept.insert(dataOf(r));
            }
            keep.select(m_model->index(row, 0),
                        m_model->index(last, std::max(0, ColumnCount() - 1)));
            count += last - row + 1;
            row = last + 1;
        }
    }
    if (!keep.isEmpty())
        selectionModel()->select(keep, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_selectedCount = count;
    m_quiet = false;
    // The selected rows that are no longer shown.
    std::vector<std::uint32_t> dropped;
    if (dense) {
        dropped.reserve(flags.size() - static_cast<std::size_t>(count));
        for (std::size_t item = 0; item < flags.size(); ++item) {
            if (flags[item] == 1)
                dropped.push_back(static_cast<std::uint32_t>(item));
        }
    } else {
        for (std::uint32_t item : set) {
            if (kept.count(item) == 0)
                dropped.push_back(item);
        }
    }
    return dropped;
}

bool ListView::IsSelected(int row) const {
    return row >= 0 && row < RowCount() && selectionModel()->isRowSelected(row, QModelIndex());
}

std::vector<int> ListView::SelectedRows() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int ListView::FirstSelected() const {
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

void ListView::SetSelected(int row, bool selected) {
    if (row < 0 || row >= RowCount())
        return;
    selectionModel()->select(m_model->index(row, 0), (selected ? QItemSelectionModel::Select
                                                               : QItemSelectionModel::Deselect) |
                                                         QItemSelectionModel::Rows);
}

void ListView::SelectAllRows() {
    if (RowCount() == 0)
        return;
    const QItemSelection all(m_model->index(0, 0),
                             m_model->index(RowCount() - 1, std::max(0, ColumnCount() - 1)));
    selectionModel()->select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void ListView::ClearSelection() {
    selectionModel()->clearSelection();
}

void ListView::SetHeaderMark(int column, const QPixmap& mark) {
    m_header->SetMark(column, mark);
}

QPixmap ListView::HeaderMark(int column) const {
    return m_header->Mark(column);
}

void ListView::OnSelectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    if (m_quiet)
        return;
    // Rows whose whole state changed, each once, the last row first.
    auto rowsOf = [](const QItemSelection& selection) {
        std::vector<int> rows;
        for (const QItemSelectionRange& range : selection) {
            for (int r = range.top(); r <= range.bottom(); ++r)
                rows.push_back(r);
        }
        std::sort(rows.begin(), rows.end(), std::greater<>());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    };
    for (int row : rowsOf(deselected)) {
        --m_selectedCount;
        Q_EMIT itemChanged(row, true, false);
    }
    for (int row : rowsOf(selected)) {
        ++m_selectedCount;
        Q_EMIT itemChanged(row, false, true);
    }
    Q_EMIT selectionChangeDone();
}

void ListView::keyPressEvent(QKeyEvent* event) {
    Q_EMIT keyDown(event->key());
    QTableView::keyPressEvent(event);
}

void ListView::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::RightButton)
        Q_EMIT rightClicked(event->position().toPoint());
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        Q_EMIT rowDoubleClicked(index.row());
}
