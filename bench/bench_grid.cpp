// A data-aware grid shown offscreen in the Qt backend over a live dataset
// of a large audit table (QV_BENCH_ROWS rows, default 1,000,000), against
// the dataset's own open time measured in the same iteration.
//
// Counters (averages over the iterations):
//   open_ms      opening the dataset (the baseline)
//   show_ms      from ShowModal to the window painted with the grid
//   last_ms      Last on the dataset and the window painted again
//   show_ratio   show_ms / open_ms;  last_ratio   last_ms / open_ms
//   dataset_MB   heap taken by the open dataset
//   grid_MB      heap taken by the shown window and grid (after the jump;
//                the smallest over the iterations, the first also pays
//                for Qt's one-time set-up)
//   grid_per_row_B  grid_MB per dataset row, in bytes
//   rows_read    rows the grid read from the dataset (those on screen)
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_util.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/qt/qt_backend.h"
#include "qvd3/platform/ui/qt/qt_grid.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using qv::bench::HeapInUse;
using qv::bench::Rows;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Fixture {
  std::string file;
  Fixture() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "bench_grid";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    fs::path dir = fs::temp_directory_path() / ("qvgridbench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    file = (dir / "bench.db").string();
    qv::Session::CreateSqliteDatabase(file);
    qv::Session& session = qv::Session::Default();
    session.AddAlias({"bench_grid", qv::EngineKind::Sqlite, file});
    qv::TDatabase& db = session.Database("bench_grid");
    db.ExecDirect(
        "CREATE TABLE AUDIT (AUDIT_ID INTEGER PRIMARY KEY, APP_KEY VARCHAR(20), USER_ID INTEGER, PROG_ID INTEGER, "
        "START_SESSION VARCHAR(19), END_SESSION VARCHAR(19), COMPUTER_NAME VARCHAR(30))");
    db.ExecDirect("INSERT INTO AUDIT SELECT x, 'SalesApplication', x % 1000, x % 500, '07/12/2026 10:11:12', "
                  "'07/12/2026 10:15:59', 'WORKSTATION-' || (x % 97) FROM (WITH RECURSIVE c(x) AS (SELECT 1 "
                  "UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(Rows()) + ") SELECT x FROM c)");
  }
  ~Fixture() {
    qv::Session::Default().RemoveAlias("bench_grid");
    fs::remove_all(fs::path(file).parent_path());
  }
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

void BM_GridOverAudit(benchmark::State& state) {
  Data();
  double open = 0, show = 0, last = 0, datasetMb = 0, gridMb = 1e18, rowsRead = 0;
  int iterations = 0;
  for (auto _ : state) {
    qv::TQuery audit;
    audit.SetDatabaseName("bench_grid");
    audit.SetSQL("SELECT AUDIT_ID, USER_ID, PROG_ID, START_SESSION, END_SESSION, COMPUTER_NAME FROM AUDIT");
    audit.SetRequestLive(true);
    const std::size_t heap0 = HeapInUse();
    const auto t0 = Clock::now();
    audit.Open();
    const auto t1 = Clock::now();
    const std::size_t heap1 = HeapInUse();

    qv::TDataSource source(&audit);
    qv::TForm form(nullptr);
    form.SetName("AuditGrid");
    form.SetClientWidth(630);
    form.SetClientHeight(453);
    auto* grid = new qv::TDBGrid(&form);
    grid->SetParent(&form);
    grid->SetAlign(qv::alClient);
    grid->AddColumn("USER_ID", "Usuário", 80);
    grid->AddColumn("COMPUTER_NAME", "Computador", 123);
    grid->AddColumn("START_SESSION", "Início", 106);
    grid->AddColumn("END_SESSION", "Fim", 111);
    grid->SetDataSource(&source);

    qv::TQtBackend ui;
    ui.SetUnattendedTimeout(60000);
    Clock::time_point shown, jumped, painted;
    std::size_t heap2 = 0;
    ui.OnWindowShown = [&](const qv::TQtShownWindow& window) {
      window.Window->grab();
      shown = Clock::now();
      jumped = Clock::now();
      audit.Last();
      window.Window->grab();
      painted = Clock::now();
      heap2 = HeapInUse();
      auto* view = dynamic_cast<qv::qt_detail::GridView*>(ui.WidgetOf(*grid));
      rowsRead += view != nullptr ? view->Model().CachedRows() : -1;
      form.SetModalResult(qv::mrOk);
    };
    const auto t2 = Clock::now();
    form.ShowModal();
    open += Ms(t1 - t0);
    show += Ms(shown - t2);
    last += Ms(painted - jumped);
    datasetMb += (heap1 - heap0) / 1e6;
    // The first showing also pays for Qt's one-time set-up (fonts, styles).
    gridMb = std::min(gridMb, (static_cast<double>(heap2) - static_cast<double>(heap1)) / 1e6);
    ++iterations;
    state.SetIterationTime((Ms(shown - t2)) / 1000.0);
  }
  const double n = iterations > 0 ? iterations : 1;
  state.counters["rows"] = Rows();
  state.counters["open_ms"] = open / n;
  state.counters["show_ms"] = show / n;
  state.counters["last_ms"] = last / n;
  state.counters["show_ratio"] = show / open;
  state.counters["last_ratio"] = last / open;
  state.counters["dataset_MB"] = datasetMb / n;
  state.counters["grid_MB"] = gridMb;
  state.counters["grid_per_row_B"] = gridMb * 1e6 / Rows();
  state.counters["rows_read"] = rowsRead / n;
}

}  // namespace

BENCHMARK(BM_GridOverAudit)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK_MAIN();
