#include "app/result_list.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>

#include <array>

namespace {

struct Column {
    const char16_t* title;
    int width;
    Qt::Alignment alignment;
};

const std::array<Column, 5> columns = {{
    {u"歌曲名", 150, Qt::AlignLeft | Qt::AlignVCenter},
    {u"艺术家", 80, Qt::AlignHCenter | Qt::AlignVCenter},
    {u"专辑", 100, Qt::AlignHCenter | Qt::AlignVCenter},
    {u"歌曲ID", 80, Qt::AlignHCenter | Qt::AlignVCenter},
    {u"直链地址", 250, Qt::AlignHCenter | Qt::AlignVCenter},
}};

}  // namespace

ResultList::ResultList(QWidget* parent) : QTableWidget(0, static_cast<int>(columns.size()), parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    showSelection(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    for (int c = 0; c < columnCount(); ++c) {
        const Column& column = columns[static_cast<std::size_t>(c)];
        auto* header = new QTableWidgetItem(QString::fromUtf16(column.title));
        header->setTextAlignment(column.alignment);
        setHorizontalHeaderItem(c, header);
        setColumnWidth(c, column.width);
    }
}

int ResultList::appendRow(const QString& column0) {
    const int row = rowCount();
    insertRow(row);
    setCell(row, 0, column0);
    return row;
}

void ResultList::setCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
        return;
    }
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    cell->setTextAlignment(columns[static_cast<std::size_t>(column)].alignment);
    setItem(row, column, cell);
}

QString ResultList::cellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

int ResultList::selectedRow() const {
    for (int row = 0; row < rowCount(); ++row) {
        if (selectionModel()->isRowSelected(row, QModelIndex())) return row;
    }
    return -1;
}

void ResultList::showSelection(bool shown) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    const QPalette usual = QApplication::palette(this);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight,
                         shown ? usual.color(QPalette::Active, QPalette::Highlight) : Qt::white);
        colours.setColor(group, QPalette::HighlightedText,
                         shown ? usual.color(QPalette::Active, QPalette::HighlightedText)
                               : Qt::black);
    }
    setPalette(colours);
}

void ResultList::focusInEvent(QFocusEvent* event) {
    showSelection(true);
    QTableWidget::focusInEvent(event);
}

void ResultList::focusOutEvent(QFocusEvent* event) {
    // A popup menu takes the keyboard for a while; the list keeps its focus meanwhile.
    if (event->reason() != Qt::PopupFocusReason) showSelection(false);
    QTableWidget::focusOutEvent(event);
}

void ResultList::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton) emit rightClicked(event->globalPosition().toPoint());
}

void ResultList::mouseDoubleClickEvent(QMouseEvent* event) {
    // The base class may change the selection first (a double click on another row or below
    // the rows), so the command reads the selection as the user sees it afterwards.
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit leftDoubleClicked();
}
