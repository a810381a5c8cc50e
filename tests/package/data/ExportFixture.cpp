// A small DLL for the export selection and the outside check of Windows builds:
// names the version script selects and names it leaves inside.
namespace fixture::Kept {
int Counter = 0;
int Add(int a, int b) {
  return a + b + Counter;
}
struct TThing {
  virtual ~TThing() = default;
  virtual int Value() const;
};
int TThing::Value() const {
  return Counter;
}
TThing* Make() {
  return new TThing;
}
}  // namespace fixture::Kept

namespace fixture::Hidden {
int Twice(int a) {
  return 2 * a;
}
}  // namespace fixture::Hidden

namespace fixture {
int Exact() {
  return Hidden::Twice(1);
}
int Exact(int a) {
  return Hidden::Twice(a);
}
}  // namespace fixture

extern "C" int Plain() {
  return fixture::Exact();
}
extern "C" int PlainHidden() {
  return 3;
}
extern "C" const char PlainData[] = "data";
