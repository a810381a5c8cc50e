// The framework's contact with the operating system: threads' ends, waking and
// waiting, the system's windows (on Windows), modules, files. Everything above this
// header is portable; each system has one folder of implementations beside it
// (posix/, win32/). Private to the framework library.
//
// Errors. A system call that fails raises EOsError, which carries the system's
// error code and says which call failed ("ppoll: Bad address"). Functions that
// answer "nothing" for an expected absence (a symbol that is not there, an address
// in no module) say so in their contract instead of raising.
//
// Time. The framework measures time with std::chrono::steady_clock (the monotonic
// clock on every supported system); waits take their timeout in nanoseconds.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vorlane::Os {

// A failed system call. what() is "<call>: <the system's text for the code>".
class EOsError : public std::system_error {
 public:
  EOsError(const char* call, std::error_code code)
      : std::system_error(code), FText(std::string(call) + ": " + code.message()) {}
  // With an errno value.
  EOsError(const char* call, int error) : EOsError(call, {error, std::generic_category()}) {}
  const char* what() const noexcept override { return FText.c_str(); }

 private:
  std::string FText;
};

// --- Threads' ends ------------------------------------------------------------------

// Has `onEnd(context)` run on the calling thread when the thread ends (for the
// thread that ends the process: when the process exits), before the thread's
// thread-local variables are torn down, so that it may still use them. Hooks run
// in the reverse order of their registration; a hook must not register another.
// On Windows the system's fiber-local storage runs them: mingw-w64's emulated
// thread-locals may be freed before C++ thread-local destructors run, so those
// cannot do it there. Raises EOsError.
using TThreadEndHook = void (*)(void* context) noexcept;
void AtThreadEnd(TThreadEndHook onEnd, void* context);

// --- Waking and waiting -----------------------------------------------------------

// Something the system can report ready to read: a file descriptor on POSIX, a
// waitable handle on Windows. The framework never looks inside one.
#ifdef _WIN32
using TNativeSource = void*;
#else
using TNativeSource = int;
#endif

// The source that the framework's callers name by an integer (a descriptor, or a
// HANDLE's bits); std::nullopt when the integer can name none: a negative
// descriptor, a null or INVALID_HANDLE_VALUE handle.
std::optional<TNativeSource> SourceFromInteger(std::intptr_t value);

// An event one thread signals and another waits on. Signals do not queue: any
// number of Signal calls before a Clear make the event ready once.
class TWakeEvent {
 public:
  // Raises EOsError when the system has no event to give (out of descriptors).
  TWakeEvent();
  ~TWakeEvent();
  TWakeEvent(const TWakeEvent&) = delete;
  TWakeEvent& operator=(const TWakeEvent&) = delete;

  // Makes the event ready. Any thread; never fails, never blocks.
  void Signal() noexcept;
  // Makes the event not ready again. Meant for the waiting thread; harmless when
  // the event is not ready.
  void Clear() noexcept;

  TNativeSource Source() const { return FSource; }

 private:
  TNativeSource FSource;
};

enum class TReadiness : std::uint8_t {
  NotReady,
  Ready,    // readable, hung up or in error: reading it will not block
  Invalid,  // not an open source (closed behind the watcher's back)
};

struct TWatchedSource {
  TNativeSource Source;
  TReadiness Readiness = TReadiness::NotReady;  // set by Wait
};

struct TWaitResult {
  bool Woken = false;        // the wake event is ready (Wait does not clear it)
  bool Interrupted = false;  // a signal cut the wait short: nothing is reported ready
  bool Messages = false;     // Windows: the thread's system queue has messages
};

// The most sources one Wait takes: on Windows the system's limit less the wake
// event (and the thread's message queue, which the wait also watches).
#ifdef _WIN32
inline constexpr std::size_t MaxWaitSources = 62;
#endif

// Waits until the wake event or one of the sources is ready, or until `timeout`
// has passed (std::nullopt: no limit; zero or less: look without waiting), then reports
// the readiness of every source in `sources`. Several may be ready at once. On
// Windows the wait also ends when the calling thread's message queue holds a
// message (also one that was there before the wait), with Messages set. A
// signal delivered to the thread ends the wait like a timeout, with Interrupted
// set; the caller decides whether to wait again. Raises EOsError for any other
// failure. Called by the thread that owns `wake` and `sources`; it allocates only
// when it is given more sources than ever before on this thread.
TWaitResult Wait(TWakeEvent& wake, std::span<TWatchedSource> sources,
                 std::optional<std::chrono::nanoseconds> timeout);

// --- Windows of the system (Windows only) ---------------------------------------------

#ifdef _WIN32
// A window of the system (an HWND). Elsewhere the framework's windows are its own
// and there is no such thing.
using TNativeWindow = void*;

// What one of the windows made here does with a message: true, with `result` set,
// when it took the message; false to leave it to the system's default handling.
// Called on the window's thread, from inside the system's dispatch; must not throw.
using TWindowHandler = bool (*)(TNativeWindow window, std::uint32_t msg, std::uintptr_t wParam,
                                std::intptr_t lParam, std::intptr_t& result) noexcept;

// Creates a message-only window (no parent but the system's message-only parent:
// never shown, never sent input) owned by the calling thread, whose messages go to
// `handler`. Every such window is of one window class, registered on first use.
// Messages sent while the window is being created already go to `handler`.
// Raises EOsError.
TNativeWindow CreateMessageWindow(TWindowHandler handler);
// Destroys a window: at once when it belongs to the calling thread; else its own
// thread destroys it when it next dispatches (WM_CLOSE is posted to it, which the
// window's handler must leave to the system's default). False when `window` names
// no window.
bool DestroyWindow(TNativeWindow window);
// True while `window` names a window (of any thread).
bool IsWindow(TNativeWindow window);
// Posts to the queue of the window's thread; false when the system refuses: no
// window, or that thread's queue is full.
bool PostWindowMessage(TNativeWindow window, std::uint32_t msg, std::uintptr_t wParam,
                       std::intptr_t lParam);

// A message taken from the calling thread's queue, to be dispatched with
// DispatchTakenMessage. Raw holds the system's own record of it.
struct TSystemMessage {
  TNativeWindow Window;
  std::uint32_t Msg;
  std::uintptr_t WParam;
  std::intptr_t LParam;
  alignas(8) unsigned char Raw[64];
};

// Which of the calling thread's messages TakeMessage takes.
enum class TMessageKind : std::uint8_t {
  Any,     // in the system's order: posted messages before input, paint and timers
  Timer,   // WM_TIMER only, also while posted messages wait
  Input,   // keyboard and mouse input only
  Paint,   // WM_PAINT only
  Number,  // posted messages of one number only
};

// Takes the next message of `kind` (of number `number` for Number) from the
// calling thread's queue; false when there is none. Messages that other threads
// send to the thread's windows are delivered (to their windows) first, also when
// this answers false.
bool TakeMessage(TSystemMessage& message, TMessageKind kind, std::uint32_t number = 0);
// Hands a taken message to its window's procedure (or, for WM_TIMER with a timer
// procedure, to that procedure).
void DispatchTakenMessage(const TSystemMessage& message);
// Whether the calling thread's queue holds anything TakeMessage would take, or a
// message sent by another thread; delivers nothing.
bool MessagesWaiting();
#endif

// --- Modules ------------------------------------------------------------------------

// The address at which a module (the program or a shared library) is mapped; its
// identity while it is loaded. 0 names no module.
using TModuleBase = std::uintptr_t;
// A counted reference to a loaded library, as the system's loader gives it out.
using TLibraryHandle = void*;

// Loads the library at `path` (running its entry and static constructors) and
// answers a new reference to it, every symbol bound now and none exported to
// libraries loaded later. On failure answers nullptr and sets `error` to the
// loader's text. Any thread; the loader serialises loads.
TLibraryHandle OpenLibrary(const std::string& path, std::string& error);
// A new reference to a module that is already loaded (the program included), for
// FindSymbol; nullptr when `module` is not the base of a loaded module.
TLibraryHandle OpenLoadedModule(TModuleBase module);
// Gives back one reference; the library is unloaded (its exit runs) with the last.
// False, with the loader's text in `error`, when the loader refuses.
bool CloseLibrary(TLibraryHandle library, std::string& error);
// The module a reference names; 0 when the loader cannot tell.
TModuleBase ModuleOf(TLibraryHandle library);
// The address of an exported symbol found through `library`, nullptr when none.
// On POSIX the search goes on into the libraries it depends on: a caller that wants
// the module's own symbols checks ModuleContaining(symbol).
void* FindSymbol(TLibraryHandle library, const char* name);
// The module whose mapped segments contain `address`; 0 for none.
TModuleBase ModuleContaining(const void* address);
// The file a loaded module was loaded from, as the loader names it; empty when
// `module` is not the base of a loaded module.
std::string ModulePath(TModuleBase module);
// The absolute path of the running program's file; empty when the system cannot
// tell.
std::string ExecutablePath();
// The files of every module mapped into the process, the program first (by
// ExecutablePath). May include objects that are not files (the kernel's vDSO).
std::vector<std::string> LoadedModuleFiles();

#ifdef _WIN32
// Windows modules carry resources and exports in tables the system reads for the
// framework. (An ELF file has neither resources nor an export table of this kind:
// on POSIX the package loader reads the file's dynamic symbols itself.)

// A resource type or name as the system's resource functions take it: a number
// below 65536, or a text when Text is not empty.
struct TResourceKey {
  std::uint16_t Number = 0;
  std::u16string Text;
};

// The bytes of resource `name` of type `type` in the module file at `path`, found
// with the system's resource functions in the file mapped for its resources only:
// none of its code runs and nothing it imports is loaded. std::nullopt when the file
// holds no such resource. Raises EOsError when the file cannot be mapped (missing,
// or not a module of this machine).
std::optional<std::vector<std::byte>> ReadFileResource(const std::string& path,
                                                       const TResourceKey& type,
                                                       const TResourceKey& name);
// The same for a loaded module, in the module's memory (valid while it stays
// loaded); std::nullopt when it holds no such resource or `module` names none.
std::optional<std::span<const std::byte>> FindModuleResource(TModuleBase module,
                                                             const TResourceKey& type,
                                                             const TResourceKey& name);
// The names in a loaded module's export table, in the table's order; empty when it
// exports nothing or `module` is not the base of a loaded module.
std::vector<std::string> ModuleExportNames(TModuleBase module);
// The base of every module mapped into the process, the program first.
std::vector<TModuleBase> LoadedModules();
#endif

// --- Files --------------------------------------------------------------------------

enum class TFileKind : std::uint8_t {
  Regular,
  Directory,
  Fifo,
  CharacterDevice,
  BlockDevice,
  Socket,
  Other,
};

// What tells two names of one file apart from two files: equal for hard links and
// for the same path.
struct TFileId {
  std::uint64_t Device = 0;
  std::uint64_t Index = 0;
  friend bool operator==(const TFileId&, const TFileId&) = default;
};

// The identity of the file at `path` (links followed). Raises EOsError when the
// file cannot be looked up.
TFileId FileIdOf(const std::string& path);

// A file open for reading, closed on destruction. Opening never blocks: a FIFO
// with no writer or a device opens at once, and Kind tells the caller what it got.
// One thread at a time.
class TReadFile {
 public:
  // Raises EOsError when the file cannot be opened or looked at.
  explicit TReadFile(const std::string& path);
  ~TReadFile();
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;

  // As found when the file was opened.
  TFileKind Kind() const { return FKind; }
  std::uint64_t Size() const { return FSize; }

  // Reads up to `size` bytes from the current position; 0 at the end. A read cut
  // short by a signal is retried. Raises EOsError.
  std::size_t Read(void* buffer, std::size_t size);
  // Reads up to `size` bytes at `offset`, leaving the position alone; 0 at or past
  // the end. Raises EOsError.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size);

 private:
  TNativeSource FFile;
  TFileKind FKind = TFileKind::Other;
  std::uint64_t FSize = 0;
};

}  // namespace vorlane::Os
