// Re-registering every hot key after an edit of the user shortcuts, as the app does it (drop
// every handler, install the two built-in ones and one per user shortcut, let the event loop
// apply the bindings), on the fake back end; against the edit's own save of settings.json, and
// against the bare decoding of the stored combinations.
#include "FakeHotKeyBackend.h"
#include "MedianReporter.h"

#include "KeyboardShortcuts/KeyTable.h"
#include "KeyboardShortcuts/Service.h"
#include "core/settings/SettingsFile.h"
#include "gui/app/SettingsShortcutStorage.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>

namespace {

using namespace runel::KeyboardShortcuts;

constexpr int userShortcuts = 100;

struct Setup {
    Setup()
        : file(dir.filePath(QStringLiteral("settings.json")))
        , storage(file)
    {
        auto owned = std::make_unique<FakeHotKeyBackend>();
        backend = owned.get();
        service = std::make_unique<Service>(storage, std::move(owned));
        names.push_back({ QStringLiteral("toggleSearchWindow"),
            Shortcut { 37, CarbonModifier::command | CarbonModifier::shift } });
        names.push_back({ QStringLiteral("toggleSearchMode"), std::nullopt });
        nlohmann::json list = nlohmann::json::array();
        const auto keys = KeyTable::entries();
        for (int i = 0; i < userShortcuts; ++i) {
            const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
            names.push_back({ QStringLiteral("shortcut-") + id, std::nullopt });
            list.push_back({ { "id", id.toStdString() }, { "keySequence", "abc" } });
            // Half of them bound, two names to some combinations.
            if (i % 2 == 0) {
                service->setShortcut(Shortcut { keys[size_t(i) % keys.size()].carbonKeyCode,
                                         CarbonModifier::command | CarbonModifier::option },
                    names.back());
            }
        }
        for (const Name &name : names)
            service->addName(name);
        file.setValue("shortcuts", list);
        shortcutsList = list;
        edit();
        reRegister();
    }

    // One combination changes between re-registrations, so that the back end is handed new
    // bindings each time (its save is not part of re-registering).
    void edit()
    {
        service->setShortcut(
            Shortcut { 17, CarbonModifier::control | (++edits % 2) * CarbonModifier::shift },
            names[2]);
    }

    // What the app does after the shortcuts setting changed.
    void reRegister()
    {
        const size_t calls = backend->calls.size();
        service->removeAllHandlers();
        for (const Name &name : names)
            service->onKeyDown(name, service.get(), [] {});
        while (backend->calls.size() == calls)
            QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    runel::SettingsFile file;
    runel::gui::SettingsShortcutStorage storage;
    FakeHotKeyBackend *backend;
    std::unique_ptr<Service> service;
    std::vector<Name> names;
    nlohmann::json shortcutsList;
    int edits = 0;
};

Setup &setup()
{
    static Setup instance;
    return instance;
}

void BM_ReRegister(benchmark::State &state)
{
    Setup &s = setup();
    for (auto _ : state) {
        state.PauseTiming();
        s.backend->calls.clear();
        s.edit();
        state.ResumeTiming();
        s.reRegister();
    }
    state.counters["bindings"] = double(s.service->hotKeyCenter().bindings().size());
}

// The edit that starts a re-registration: settings.json rewritten with the changed list.
void BM_SaveSettings(benchmark::State &state)
{
    Setup &s = setup();
    int edit = 0;
    for (auto _ : state) {
        s.shortcutsList[0]["keySequence"] = (++edit % 2) ? "abd" : "abc";
        s.file.setValue("shortcuts", s.shortcutsList);
    }
}

// The least any re-registration does: decode every stored combination and group the names.
void BM_BareDecode(benchmark::State &state)
{
    Setup &s = setup();
    for (auto _ : state) {
        std::vector<Binding> bindings;
        for (const Name &name : s.names) {
            const std::optional<Shortcut> shortcut
                = Shortcut::fromJson(s.file.value(name.storageKey().toStdString()));
            if (!shortcut)
                continue;
            auto shared = std::find_if(bindings.begin(), bindings.end(),
                [&](const Binding &binding) { return binding.shortcut == *shortcut; });
            if (shared == bindings.end())
                bindings.push_back({ *shortcut, { name.rawValue } });
            else
                shared->names.append(name.rawValue);
        }
        benchmark::DoNotOptimize(bindings);
    }
}

void setUp(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMicrosecond)
        ->Repetitions(9)
        ->ReportAggregatesOnly(true)
        ->UseRealTime();
}

BENCHMARK(BM_ReRegister)->Apply(setUp);
BENCHMARK(BM_SaveSettings)->Apply(setUp);
BENCHMARK(BM_BareDecode)->Apply(setUp);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    runel::bench::MedianReporter reporter;
    if (!runel::bench::runInterleaved(argc, argv, reporter))
        return 2;
    std::printf("\nRe-registering %d user shortcuts and the two built-in names (median real "
                "time; target under 20 ms):\n",
        userShortcuts);
    if (const auto seconds = reporter.seconds("BM_ReRegister"))
        std::printf("re-register: %.3f ms\n", *seconds * 1e3);
    runel::bench::printRatio(
        reporter, "against the edit's save", "BM_ReRegister", "BM_SaveSettings", 0.5);
    runel::bench::printRatio(
        reporter, "against bare decoding", "BM_ReRegister", "BM_BareDecode", 10.0);
    return 0;
}
