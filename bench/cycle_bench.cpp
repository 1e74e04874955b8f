// What one key costs inside the program, and what loading and saving the sample file cost.
//
// One editor cycle is what the editor does between two keys, less the wait for the key: the
// field's rule, the full `screen` redraw into the console model, the highlight colour and the
// highlight. The file benchmarks use the sample image, from memory and from a scratch folder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "console/console.hpp"
#include "console/keycodes.hpp"
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "screen/screen.hpp"

namespace {

namespace fs = std::filesystem;

std::string sample_text() {
    std::ifstream in(ULOCFG_SAMPLE, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The sample image, loaded once; a benchmark that cannot have it reports an error instead of
// timing a blank image.
struct Sample {
    std::string text = sample_text();
    ulo::Wert wert{};
    bool ok = ulo::parse_image(text, wert);
};
const Sample& sample() {
    static const Sample s;
    return s;
}

// The console as the editor leaves it between keys: the title box and a first full cycle.
struct Session {
    ulo::Console con;
    ulo::Wert wert = sample().wert;
    ulo::Editor ed;
    explicit Session(int field) {
        ulo::clrscr(con);
        ulo::title_box(con);
        ed.mode = field;
        cycle_screen();
    }
    void cycle_screen() {
        ulo::screen(con, wert, ed.ramp);
        ulo::textcolor(con, ulo::light_red);
        ulo::highlight(con, ed, wert);
    }
    void cycle(int key_code) {
        ed.letter = key_code;
        ulo::apply_rule(ed, wert);
        cycle_screen();
    }
};

bool have_sample(benchmark::State& state) {
    if (sample().ok) return true;
    state.SkipWithError("examples/ulo.txt could not be read as an image");
    return false;
}

// Digits typed into "VSS Pulses per km" (field 9), a five-digit value: the first replaces it,
// the following ones append and are held at the field's maximum.
void BM_cycle_digit(benchmark::State& state) {
    if (!have_sample(state)) return;
    Session s(9);
    int digit = 0;
    for (auto _ : state) {
        s.cycle('1' + digit);
        digit = (digit + 1) % 9;
        benchmark::DoNotOptimize(s.con.cells.data());
    }
}

// Down and Up between "VSS Pulses per km" and "VSS Pulswidth": each key moves the field
// cursor, so the highlight changes place every cycle.
void BM_cycle_move(benchmark::State& state) {
    if (!have_sample(state)) return;
    Session s(9);
    for (auto _ : state) {
        s.cycle(s.ed.mode == 9 ? ulo::key::down : ulo::key::up);
        benchmark::DoNotOptimize(s.con.cells.data());
    }
}

// Letters typed into the wheel name (field 5), the name cursor walking over all 16 places.
void BM_cycle_name_character(benchmark::State& state) {
    if (!have_sample(state)) return;
    Session s(5);
    int k = 0;
    for (auto _ : state) {
        s.ed.start = 1 + k % 16;
        s.cycle('A' + k % 26);
        ++k;
        benchmark::DoNotOptimize(s.con.cells.data());
    }
}

// The reader over the sample held in memory.
void BM_parse_memory(benchmark::State& state) {
    if (!have_sample(state)) return;
    const std::string& text = sample().text;
    ulo::Wert wert{};
    for (auto _ : state) {
        const bool ok = ulo::parse_image(text, wert);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(wert.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// A scratch folder with a copy of the sample, removed again afterwards.
struct Scratch {
    fs::path dir;
    fs::path file;
    bool ok = false;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "ulocfg-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        dir = pattern;
        file = dir / "ulo.txt";
        std::error_code error;
        ok = fs::copy_file(ULOCFG_SAMPLE, file, error);
    }
    ~Scratch() {
        std::error_code error;
        if (!dir.empty()) fs::remove_all(dir, error);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

// load_image on the file: open, read in chunks, parse, close.
void BM_load_disk(benchmark::State& state) {
    if (!have_sample(state)) return;
    Scratch scratch;
    if (!scratch.ok) return state.SkipWithError("no scratch folder for ulo.txt");
    const std::string path = scratch.file.string();
    ulo::Wert wert{};
    for (auto _ : state) {
        if (ulo::load_image(path, wert) != ulo::LoadResult::loaded)
            return state.SkipWithError("the scratch ulo.txt did not load");
        benchmark::DoNotOptimize(wert.data());
    }
}

// The text the writer produces, without touching the disk.
void BM_format_memory(benchmark::State& state) {
    if (!have_sample(state)) return;
    for (auto _ : state) {
        std::string text = ulo::format_image(sample().wert);
        benchmark::DoNotOptimize(text.data());
    }
}

// save_image on the file: a new file beside it, written, synced and renamed into place.
void BM_save_disk(benchmark::State& state) {
    if (!have_sample(state)) return;
    Scratch scratch;
    if (!scratch.ok) return state.SkipWithError("no scratch folder for ulo.txt");
    const std::string path = scratch.file.string();
    for (auto _ : state) {
        if (ulo::save_image(path, sample().wert) != ulo::SaveResult::saved)
            return state.SkipWithError("the scratch ulo.txt could not be saved");
    }
}

// Each figure is the median of many short runs of a fixed number of iterations, about a
// millisecond each for the editor and the reader. On a machine that is busy with other work
// most runs still go through without being preempted, and the median is theirs: what the
// work itself costs. The runs that were preempted show in the spread (cv), not the median.
#define ULOCFG_BENCH(fn, iterations, runs)                                                         \
    BENCHMARK(fn)                                                                                  \
        ->Unit(benchmark::kMicrosecond)                                                            \
        ->Iterations(iterations)                                                                   \
        ->Repetitions(runs)                                                                        \
        ->ReportAggregatesOnly(true)

ULOCFG_BENCH(BM_cycle_digit, 100, 101);
ULOCFG_BENCH(BM_cycle_move, 100, 101);
ULOCFG_BENCH(BM_cycle_name_character, 100, 101);
ULOCFG_BENCH(BM_parse_memory, 100, 101);
ULOCFG_BENCH(BM_load_disk, 40, 101);
ULOCFG_BENCH(BM_format_memory, 10, 101);
// Each save waits for the disk twice (the file, then the folder): a few of them suffice.
ULOCFG_BENCH(BM_save_disk, 4, 25);

} // namespace

BENCHMARK_MAIN();
