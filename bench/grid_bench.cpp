// Scrolling the data grid through 100,000 journal rows, one page per step,
// painting the whole grid each time (offscreen). The peer is Qt's own table
// view over a model that holds the same display texts in memory: the ratio
// is what reading rows through the engine's record window costs on top of
// Qt's painting.
#include <benchmark/benchmark.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <array>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "Cp1251Codec.h"
#include "DBGrid.h"
#include "journal_rows.h"
#include "sqlmem/locale.h"

namespace {

constexpr int kRows = 100000;
constexpr QSize kGridSize(660, 480);

// The three columns the journal window shows, as plain strings.
class PlainModel : public QAbstractTableModel {
public:
    PlainModel() {
        m_rows.reserve(kRows);
        for (int i = 1; i <= kRows; ++i) {
            const bench::JournalRow r = bench::journalRow(i);
            m_rows.push_back({QString::fromStdString(sqlmem::locale::shortDate(r.date)),
                              QString::fromStdString(sqlmem::locale::longTime(r.time)),
                              orvalen::fromCp1251(r.name)});
        }
    }
    int rowCount(const QModelIndex& = {}) const override { return kRows; }
    int columnCount(const QModelIndex& = {}) const override { return 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        return m_rows[index.row()][index.column()];
    }

private:
    std::vector<std::array<QString, 3>> m_rows;
};

struct GridFixture {
    GridFixture() {
        table.TableName = bench::freshTableName("grid_bench");
        bench::declareJournal(table, table.TableName, false);
        table.open();
        table.disableControls();
        bench::fillJournal(table, bench::keysUpTo(kRows));
        table.enableControls();
        table.first();
        grid.setColumns({{"test_date", "Дата", 0, Qt::AlignCenter},
                         {"test_time", "Время", 0, Qt::AlignCenter},
                         {"tested_name", "ФИО опрашиваемого", 413, Qt::AlignCenter}});
        grid.setDataSource(&source);
        grid.resize(kGridSize);
        grid.show();
        QApplication::processEvents();
        if (grid.model()->rowCount() != kRows) throw std::runtime_error("grid rows");

        plain.setModel(&model);
        plain.resize(kGridSize);
        plain.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        plain.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        plain.verticalHeader()->setDefaultSectionSize(grid.verticalHeader()->defaultSectionSize());
        plain.show();
        QApplication::processEvents();
        plain.setCurrentIndex(model.index(0, 0));
    }

    sqlmem::TSQLMemTable table{"Tests"};
    sqlmem::TDataSource source{&table};
    orvalen::TDBGrid grid;
    PlainModel model;
    QTableView plain;
};

GridFixture& fixture() {
    static GridFixture f;
    return f;
}

void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(w, &event);
}

// One step: Page Down (back to the top at the end), then paint the grid.
void pageThrough(benchmark::State& state, QAbstractItemView& view) {
    QImage image(kGridSize, QImage::Format_RGB32);
    press(&view, Qt::Key_Home, Qt::ControlModifier);
    std::int64_t wraps = 0;
    for (auto _ : state) {
        if (view.currentIndex().row() == kRows - 1) {
            press(&view, Qt::Key_Home, Qt::ControlModifier);
            ++wraps;
        } else {
            press(&view, Qt::Key_PageDown);
        }
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["rows_per_page"] = view.verticalScrollBar()->pageStep();
    state.counters["wraps"] = static_cast<double>(wraps);
}

// One step: drag the thumb to a random record number, then paint.
void jumpAround(benchmark::State& state, QAbstractItemView& view) {
    QImage image(kGridSize, QImage::Format_RGB32);
    std::mt19937 random(7);
    QScrollBar* bar = view.verticalScrollBar();
    for (auto _ : state) {
        bar->setValue(std::uniform_int_distribution<int>(0, bar->maximum())(random));
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_GridPageDown(benchmark::State& state) {
    pageThrough(state, fixture().grid);
    // The dataset kept in step: its current record is the grid's.
    if (fixture().table.recNo() - 1 != fixture().grid.currentIndex().row())
        state.SkipWithError("grid and dataset out of step");
}
// Enough steps to page through all 100,000 rows at least once (wraps >= 1).
BENCHMARK(BM_GridPageDown)->Unit(benchmark::kMicrosecond)->Iterations(5000);

void BM_PlainViewPageDown(benchmark::State& state) {
    pageThrough(state, fixture().plain);
}
BENCHMARK(BM_PlainViewPageDown)->Unit(benchmark::kMicrosecond)->Iterations(5000);

void BM_GridThumbJump(benchmark::State& state) {
    jumpAround(state, fixture().grid);
}
BENCHMARK(BM_GridThumbJump)->Unit(benchmark::kMicrosecond);

void BM_PlainViewThumbJump(benchmark::State& state) {
    jumpAround(state, fixture().plain);
}
BENCHMARK(BM_PlainViewThumbJump)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
