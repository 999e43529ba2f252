// Benchmarks of the portable core, each beside a floor measured in the same
// binary: decoding the artwork (floor: inflating its compressed data),
// building the form from its definition (floor: decoding the artwork, which
// building includes), composing the surface (floor: copying 800 x 677 x 4
// bytes), and dispatching one mouse event (floor: one call through the
// event interface to a function that does nothing). Prints medians and
// ratios: figures to compare, never a pass or a fail, since they move with
// the machine. It fails only when a benchmark did not run.

#include "framework/Application.h"
#include "framework/Composer.h"
#include "framework/Startup.h"
#include "framework/System.h"
#include "platform/EmbeddedResources.h"
#include "platform/PngDecoder.h"
#include "platform/headless_platform.h"
#include "ui/Unit1.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <string>

namespace {

std::span<const std::uint8_t> Artwork()
{
    return Platform::FindEmbeddedResource("ARTWORK");
}

// The concatenated IDAT data of a PNG.
std::vector<std::uint8_t> CompressedImageData(std::span<const std::uint8_t> png)
{
    std::vector<std::uint8_t> data;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = (std::uint32_t{png[at]} << 24) | (std::uint32_t{png[at + 1]} << 16) |
                                     (std::uint32_t{png[at + 2]} << 8) | png[at + 3];
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
            data.insert(data.end(), png.begin() + static_cast<long>(at + 8),
                        png.begin() + static_cast<long>(at + 8 + length));
        at += 12 + length;
    }
    return data;
}

void DecodeArtwork(benchmark::State& state)
{
    Platform::DecodedImage image;
    for (auto _ : state) {
        Platform::DecodePngWithLibpng(Artwork(), image);
        benchmark::DoNotOptimize(image.Pixels.data());
    }
}
BENCHMARK(DecodeArtwork);

void DecodeArtworkFloor(benchmark::State& state)
{
    const std::vector<std::uint8_t> compressed = CompressedImageData(Artwork());
    std::vector<std::uint8_t> raw((1 + 800 * 4) * 493);
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(raw.size());
        uncompress(raw.data(), &size, compressed.data(), static_cast<uLong>(compressed.size()));
        benchmark::DoNotOptimize(raw.data());
    }
}
BENCHMARK(DecodeArtworkFloor);

void BuildForm(benchmark::State& state)
{
    for (auto _ : state) {
        auto* form = new TForm1(Application);
        form->LoadDefinition();
        benchmark::DoNotOptimize(form->Image1);
        delete form;
    }
}
BENCHMARK(BuildForm);

void ComposeSurface(benchmark::State& state)
{
    auto* form = new TForm1(Application);
    form->LoadDefinition();
    TSurface surface(800, 677);
    for (auto _ : state) {
        ComposeForm(*form, surface);
        benchmark::DoNotOptimize(surface.Pixels().data());
    }
    delete form;
}
BENCHMARK(ComposeSurface);

// Composing as two passes, clearing the whole surface and then drawing, for
// comparison with the one pass that ComposeForm takes.
void ComposeSurfaceInTwoPasses(benchmark::State& state)
{
    auto* form = new TForm1(Application);
    form->LoadDefinition();
    TSurface surface(800, 677);
    for (auto _ : state) {
        surface.Fill(0);
        for (const TControl* control : form->Controls())
            if (control->Visible()) control->Paint(surface);
        benchmark::DoNotOptimize(surface.Pixels().data());
    }
    delete form;
}
BENCHMARK(ComposeSurfaceInTwoPasses);

void ComposeSurfaceFloor(benchmark::State& state)
{
    std::vector<std::uint32_t> source(800 * 677, 0xFF336699), target(800 * 677);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), target.size() * sizeof(std::uint32_t));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ComposeSurfaceFloor);

void DecodeToComposedSurface(benchmark::State& state)
{
    TSurface surface(800, 677);
    for (auto _ : state) {
        auto* form = new TForm1(Application);
        form->LoadDefinition();
        ComposeForm(*form, surface);
        benchmark::DoNotOptimize(surface.Pixels().data());
        delete form;
    }
}
BENCHMARK(DecodeToComposedSurface);

void DispatchMouseEvent(benchmark::State& state)
{
    auto* form = new TForm1(Application);
    form->LoadDefinition();
    form->Show();
    Platform::WindowEvents* events = Platform::Headless::EventsOfWindow();
    events->MouseMove(300, 300);  // the arrow is set once; later moves change nothing
    int x = 0;
    for (auto _ : state) {
        events->MouseMove(300 + (x++ & 63), 300);
    }
    delete form;
}
BENCHMARK(DispatchMouseEvent);

class TNoEvents final : public Platform::WindowEvents {
public:
    void MouseDown(Platform::MouseButton, int, int, bool) noexcept override {}
    void MouseUp(Platform::MouseButton, int, int) noexcept override {}
    void MouseMove(int x, int) noexcept override { benchmark::DoNotOptimize(x); }
    void CloseRequest() noexcept override {}
    void Expose() noexcept override {}
    void CaptureLost() noexcept override {}
};

void DispatchMouseEventFloor(benchmark::State& state)
{
    TNoEvents none;
    Platform::WindowEvents* volatile events = &none;
    int x = 0;
    for (auto _ : state) events->MouseMove(300 + (x++ & 63), 300);
}
BENCHMARK(DispatchMouseEventFloor);

// Keeps the median of each benchmark's repetitions, in nanoseconds.
class TMedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Medians;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                Medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    // Medians of repeated runs: this machine is shared and noisy.
    std::string repetitions = "--benchmark_repetitions=7";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.push_back(repetitions.data());
    args.push_back(aggregates.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    Platform::Headless::Load({});
    std::string error;
    if (!OpenFramework(Platform::Headless::Connect(), error)) return 1;
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    System::RunFinalizers();

    const auto& m = reporter.Medians;
    const char* needed[] = {"DecodeArtwork", "DecodeArtworkFloor", "BuildForm", "ComposeSurface",
                            "ComposeSurfaceFloor", "ComposeSurfaceInTwoPasses", "DispatchMouseEvent", "DispatchMouseEventFloor",
                            "DecodeToComposedSurface"};
    for (const char* name : needed) {
        if (!m.count(name)) {
            std::printf("\n%s was not run: no ratios (run without --benchmark_filter)\n", name);
            return 1;
        }
    }
    const auto ratio = [&](const char* name, const char* floor) {
        const double r = m.at(name) / m.at(floor);
        std::printf("%-24s %12.1f ns   floor %-24s %12.1f ns   ratio %6.2f\n", name, m.at(name), floor,
                    m.at(floor), r);
        return r;
    };
    std::printf("\nmedians of 7 repetitions, measured side by side in one run:\n");
    ratio("DecodeArtwork", "DecodeArtworkFloor");
    ratio("BuildForm", "DecodeArtwork");
    const double compose = ratio("ComposeSurface", "ComposeSurfaceFloor");
    ratio("ComposeSurfaceInTwoPasses", "ComposeSurfaceFloor");
    ratio("DispatchMouseEvent", "DispatchMouseEventFloor");
    const double total = m.at("DecodeToComposedSurface") / 1e6;
    std::printf("decode to composed surface: %.2f ms (goal: under 10 ms)\n", total);
    std::printf("composing: %.2fx its floor (goal: within 1.5x)\n", compose);
    return 0;
}
