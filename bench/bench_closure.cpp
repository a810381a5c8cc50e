// The costs of closures and their signature ids: the id of a call signature (asked
// whenever type information is built and whenever form reading or the designer
// matches a method to an event), a call through a bound closure, and reading form
// data that binds two events by name (each checked against its event's signature).
#include <benchmark/benchmark.h>

#include "AllocationCounter.hpp"
#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/FormData.hpp"
// The framework tests' components: a root with published handlers and a gadget
// with events of two signatures.
#include "../tests/framework/TestComponents.hpp"

namespace {

using namespace framework_test;

void BM_SignatureId(benchmark::State& state) {
  const std::uint64_t start = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Closure::SignatureId<void(TObject*, int)>());
    benchmark::DoNotOptimize(Closure::SignatureId<void(TObject*)>());
  }
  state.counters["allocs_per_op"] = benchmark::Counter(
      static_cast<double>(bench::AllocationCount() - start) /
      static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)));
}
BENCHMARK(BM_SignatureId);

void BM_BoundClosureCall(benchmark::State& state) {
  TTestForm form;
  const auto event = TCountEvent::Bind<&TTestForm::GadgetCount>(&form);
  for (auto _ : state) {
    event(&form, 1);
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(form.Counted);
}
BENCHMARK(BM_BoundClosureCall);

void BM_ReadFormWithEvents(benchmark::State& state) {
  TypInfo::RegisterClass(TGadget::StaticClass());
  constexpr std::string_view text =
      "object Form1: TTestForm\n"
      "  object Gadget1: TGadget\n"
      "    Count = 3\n"
      "    OnChange = GadgetChange\n"
      "    OnCount = GadgetCount\n"
      "  end\n"
      "end\n";
  for (auto _ : state) {
    TTestForm form;
    FormData::ReadComponent(text, &form);
    benchmark::DoNotOptimize(form.GetComponentCount());
    gEvents.clear();
  }
}
BENCHMARK(BM_ReadFormWithEvents);

}  // namespace

BENCHMARK_MAIN();
