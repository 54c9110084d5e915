// Result list benchmark: sorts 1,000,000 result rows by every column as the window does, and
// from scratch, and formats one screen of rows the way the view asks for it (texts, images,
// colours, fonts).
//   bench/ui/run.sh [rows]
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "engine/kn_unitCompare.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitResultSort.h"

namespace {

// CPU time of this thread in ms: on a busy machine wall time measures the neighbours too.
double ThreadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

constexpr int kFilesPerFolder = 1000;
constexpr int kScreenRows = 50;

kn::TKNFileRec Entry(const kn::TKNSharedText& folder, const std::string& name, std::mt19937_64& random)
{
    kn::TKNFileRec rec;
    rec.Path = folder;
    rec.Name = name;
    rec.Size = static_cast<int64_t>(random() % 10000000);
    rec.Time = 45000.0 + static_cast<double>(random() % 100000) / 86400.0 * 30.0;
    rec.Attr = kn::faArchive;
    return rec;
}

// Rows as a comparison makes them: folders of files, some present on one side only.
void FillRows(kn::TKNFileCompare& engine, int count)
{
    std::mt19937_64 random(42);
    kn::TKNSharedText leftFolder, rightFolder;
    for (int i = 0; i < count; ++i) {
        if (i % kFilesPerFolder == 0) {
            std::string sub = "/folder" + std::to_string(i / kFilesPerFolder);
            leftFolder = kn::TKNSharedText("/data/left" + sub);
            rightFolder = kn::TKNSharedText("/data/right" + sub);
        }
        auto row = std::make_unique<kn::TMyFileOpt>();
        std::string name = "file" + std::to_string(random() % 1000000) + ".txt";
        int kind = static_cast<int>(random() % 4);
        if (kind != 1) row->Left = Entry(leftFolder, name, random);
        if (kind != 0) row->Right = Entry(rightFolder, name, random);
        row->Status = kind == 0   ? kn::TKNStatus::Left
                      : kind == 1 ? kn::TKNStatus::Right
                      : kind == 2 ? kn::TKNStatus::Differ
                                  : kn::TKNStatus::Left;
        engine.Items.push_back(std::move(row));
    }
    engine.LeftRootLen = 10;
    engine.RightRootLen = 11;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    kn::TKNFileCompare engine;
    FillRows(engine, count);
    std::printf("%d rows\n", count);

    // As the window sorts: one sorter for the result, first by the saved column when the
    // result arrives, then a click on every column in both directions (the first click on a
    // column ranks what that column needs; a second click reuses it).
    QElapsedTimer timer;
    kn::TKNResultSorter sorter;
    auto timed = [&](const char* what, int column, int direction, auto sort) {
        timer.start();
        double cpu = ThreadMs();
        sort(column, direction);
        std::printf("%-12s column %d %-10s %7.1f ms cpu %7.1f ms wall\n", what, column,
                    direction > 0 ? "ascending" : "descending", ThreadMs() - cpu,
                    static_cast<double>(timer.nsecsElapsed()) / 1e6);
    };
    auto window = [&](int column, int direction) { sorter.Sort(engine.Items, column, direction); };
    auto fresh = [&](int column, int direction) { kn::SortResultRows(engine.Items, column, direction); };
    timed("new result", 0, 1, window);
    for (int column = 0; column < kn::kResultColumnCount; ++column)
        for (int direction : {1, -1}) timed("click", column, direction, window);
    // A new result, in the comparison's order, arriving while the list is sorted by another
    // saved column.
    for (int column = 1; column < kn::kResultColumnCount; ++column) {
        engine.Items.clear();
        FillRows(engine, count);
        sorter.Forget();
        timed("new result", column, 1, window);
    }
    // Without anything learnt: every sort ranks from scratch.
    for (int column = 0; column < kn::kResultColumnCount; ++column) timed("from scratch", column, 1, fresh);

    vex::TvexImageList images;
    kn::LoadMainImages(images);
    vex::TvexSysImageList sysImages;
    kn::TKNResultModel model(engine, images, sysImages);
    model.SetItemCount(count);
    const int roles[] = {Qt::DisplayRole, Qt::DecorationRole, Qt::ForegroundRole, Qt::FontRole, Qt::TextAlignmentRole};
    int screens = 200;
    size_t checksum = 0;
    timer.start();
    double cpu = ThreadMs();
    for (int screen = 0; screen < screens; ++screen) {
        int first = (screen * 4999) % (count - kScreenRows);
        for (int row = first; row < first + kScreenRows; ++row)
            for (int column = 0; column < kn::kResultColumnCount; ++column)
                for (int role : roles) checksum += model.data(model.index(row, column), role).isValid();
    }
    std::printf("format one screen (%d rows x 7 columns, 5 roles) %6.3f ms cpu %6.3f ms wall [%zu values]\n",
                kScreenRows, (ThreadMs() - cpu) / screens, static_cast<double>(timer.nsecsElapsed()) / 1e6 / screens,
                checksum);
    return 0;
}
