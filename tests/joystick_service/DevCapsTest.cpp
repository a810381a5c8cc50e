// joyGetDevCapsW and joyGetDevCapsA: the four record sizes, the identifiers (a
// controller's, an empty number, (UINT_PTR)-1, 16 and up), the order of the checks,
// the wide and the Windows-1252 strings, and the call log and faults of both calls.
#include <array>
#include <string>

#include "ServiceSupport.hpp"

namespace vorlane::JoystickServiceTests {
namespace {

using DevCapsTest = ServiceTest;

constexpr UINT_PTR RegKeyId = ~UINT_PTR{0};
constexpr std::size_t BufferSize = 1024;  // larger than every record

// A record buffer filled with the sentinel, larger than any record, so that a call
// writing past the size it was given is seen.
using TBuffer = std::array<unsigned char, BufferSize>;
TBuffer Sentinels() {
  TBuffer b;
  b.fill(Sentinel);
  return b;
}

enum class TWidth { Wide, Ansi };
const char* Name(TWidth w) {
  return w == TWidth::Wide ? "joyGetDevCapsW" : "joyGetDevCapsA";
}

MMRESULT GetCaps(TWidth width, UINT_PTR id, void* record, UINT size) {
  return width == TWidth::Wide ? joyGetDevCapsW(id, static_cast<LPJOYCAPSW>(record), size)
                               : joyGetDevCapsA(id, static_cast<LPJOYCAPSA>(record), size);
}

struct TSizes {
  TWidth Width;
  UINT Small, Large;
};
constexpr TSizes Widths[] = {{TWidth::Wide, sizeof(JOYCAPSW), sizeof(JOYCAPS2W)},
                             {TWidth::Ansi, sizeof(JOYCAPSA), sizeof(JOYCAPS2A)}};

// Bytes [from, to) of `b` all equal `value`.
::testing::AssertionResult AllBytes(const TBuffer& b, std::size_t from, std::size_t to,
                                    unsigned char value) {
  for (std::size_t i = from; i < to; ++i)
    if (b[i] != value)
      return ::testing::AssertionFailure()
             << "byte " << i << " is 0x" << std::hex << int{b[i]} << ", not 0x" << int{value};
  return ::testing::AssertionSuccess();
}

GUID MakeGuid(DWORD first) {
  return GUID{first, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
}

TDescription Described() {
  TDescription d;
  d.Name = u"Pad";
  d.Vendor = 0x045E;
  d.Product = 0x028E;
  d.WithAxis(TAxis::Z);
  d.ButtonCount = 10;
  d.Hat = THatKind::Discrete;
  d.RegKey = u"/dev/input/event4";
  d.Driver = u"evdev";
  return d;
}

// --- Sizes -----------------------------------------------------------------------------

TEST_F(DevCapsTest, EachCallAcceptsItsTwoSizesAndWritesExactlyThatMany) {
  TVirtualController pad(Described());
  for (const TSizes& w : Widths) {
    for (UINT size : {w.Small, w.Large}) {
      TBuffer b = Sentinels();
      ASSERT_EQ(GetCaps(w.Width, 0, b.data(), size), JOYERR_NOERROR) << Name(w.Width) << size;
      EXPECT_TRUE(AllBytes(b, size, BufferSize, Sentinel)) << Name(w.Width) << " " << size;
    }
    // The large record is the small one followed by the three identifiers, here zero.
    TBuffer small = Sentinels(), large = Sentinels();
    ASSERT_EQ(GetCaps(w.Width, 0, small.data(), w.Small), JOYERR_NOERROR);
    ASSERT_EQ(GetCaps(w.Width, 0, large.data(), w.Large), JOYERR_NOERROR);
    EXPECT_TRUE(std::equal(small.begin(), small.begin() + w.Small, large.begin()));
    EXPECT_TRUE(AllBytes(large, w.Small, w.Large, 0)) << Name(w.Width);
  }
}

TEST_F(DevCapsTest, AnyOtherSizeIsRefusedAndTheRecordUntouchedWithAndWithoutAController) {
  for (bool attached : {true, false}) {
    std::unique_ptr<TVirtualController> pad;
    if (attached) pad = std::make_unique<TVirtualController>();
    for (const TSizes& w : Widths) {
      std::vector<UINT> sizes = {0u,   1u,   403u, 405u, 451u,  453u,
                                 727u, 729u, 775u, 777u, 1000u, 0xFFFFFFFFu};
      // The other call's sizes are wrong for this one.
      if (w.Width == TWidth::Wide)
        sizes.insert(sizes.end(), {sizeof(JOYCAPSA), sizeof(JOYCAPS2A)});
      else
        sizes.insert(sizes.end(), {sizeof(JOYCAPSW), sizeof(JOYCAPS2W)});
      for (UINT size : sizes)
        for (UINT_PTR id : {UINT_PTR{0}, UINT_PTR{5}, RegKeyId, UINT_PTR{16}}) {
          TBuffer b = Sentinels();
          EXPECT_EQ(GetCaps(w.Width, id, b.data(), size), JOYERR_PARMS)
              << Name(w.Width) << " size " << size << " id " << id;
          EXPECT_TRUE(AllBytes(b, 0, BufferSize, Sentinel));
        }
    }
  }
}

// --- Identifiers and the order of the checks ---------------------------------------------

TEST_F(DevCapsTest, ChecksTheRecordThenTheSizeThenTheIdentifier) {
  struct TCase {
    UINT_PTR Id;
    bool NullRecord;
    bool GoodSize;
    MMRESULT Attached;  // controller 0 attached
    MMRESULT Empty;     // no controller at all
  };
  const TCase cases[] = {
      {0, true, false, MMSYSERR_INVALPARAM, MMSYSERR_INVALPARAM},
      {RegKeyId, true, true, MMSYSERR_INVALPARAM, MMSYSERR_INVALPARAM},
      {16, true, false, MMSYSERR_INVALPARAM, MMSYSERR_INVALPARAM},
      {RegKeyId, false, false, JOYERR_PARMS, JOYERR_PARMS},
      {RegKeyId, false, true, JOYERR_NOERROR, JOYERR_NOERROR},
      {16, false, true, JOYERR_PARMS, JOYERR_PARMS},
      {UINT_PTR{1} << 40, false, true, JOYERR_PARMS, JOYERR_PARMS},
      {~UINT_PTR{1}, false, true, JOYERR_PARMS, JOYERR_PARMS},  // -2
      {0, false, true, JOYERR_NOERROR, JOYERR_UNPLUGGED},
      {15, false, true, JOYERR_UNPLUGGED, JOYERR_UNPLUGGED},
  };
  for (bool attached : {true, false}) {
    std::unique_ptr<TVirtualController> pad;
    if (attached) pad = std::make_unique<TVirtualController>();
    for (const TSizes& w : Widths)
      for (const TCase& c : cases) {
        TBuffer b = Sentinels();
        const UINT size = c.GoodSize ? w.Large : w.Large + 1;
        EXPECT_EQ(GetCaps(w.Width, c.Id, c.NullRecord ? nullptr : b.data(), size),
                  attached ? c.Attached : c.Empty)
            << Name(w.Width) << " id " << c.Id << (c.NullRecord ? " null" : "") << " size " << size
            << (attached ? " attached" : " none");
        if (c.NullRecord || (attached ? c.Attached : c.Empty) != JOYERR_NOERROR) {
          EXPECT_TRUE(AllBytes(b, 0, BufferSize, Sentinel));
        }
      }
  }
}

TEST_F(DevCapsTest, MinusOneAnswersOnlyTheRegistryKeyWhetherOrNotAControllerIsAttached) {
  for (bool attached : {false, true}) {
    std::unique_ptr<TVirtualController> pad;
    if (attached) {
      TDescription d = Described();
      d.ProductGuid = MakeGuid(7);
      pad = std::make_unique<TVirtualController>(d);
    }
    for (const TSizes& w : Widths)
      for (UINT size : {w.Small, w.Large}) {
        TBuffer b = Sentinels();
        ASSERT_EQ(GetCaps(w.Width, RegKeyId, b.data(), size), JOYERR_NOERROR);
        // Everything but szRegKey is zero; szRegKey is "DINPUT.DLL" and zero after it.
        TBuffer expected{};
        std::fill(expected.begin() + size, expected.end(), Sentinel);
        const std::string key = "DINPUT.DLL";
        for (std::size_t i = 0; i < key.size(); ++i) {
          if (w.Width == TWidth::Wide)
            expected[offsetof(JOYCAPSW, szRegKey) + 2 * i] = static_cast<unsigned char>(key[i]);
          else
            expected[offsetof(JOYCAPSA, szRegKey) + i] = static_cast<unsigned char>(key[i]);
        }
        EXPECT_EQ(b, expected) << Name(w.Width) << " size " << size
                               << (attached ? " attached" : " none");
      }
  }
}

// --- Contents ------------------------------------------------------------------------------

TEST_F(DevCapsTest, TheLargeRecordsCarryTheIdentifiersTheDeviceGives) {
  TDescription d = Described();
  d.ManufacturerGuid = MakeGuid(0x11111111);
  d.ProductGuid = MakeGuid(0x22222222);
  d.NameGuid = MakeGuid(0x33333333);
  TVirtualController given(d);
  TVirtualController none(Described());

  JOYCAPS2W wide = Filled<JOYCAPS2W>();
  ASSERT_EQ(joyGetDevCapsW(0, reinterpret_cast<LPJOYCAPSW>(&wide), sizeof wide), JOYERR_NOERROR);
  JOYCAPS2A ansi = Filled<JOYCAPS2A>();
  ASSERT_EQ(joyGetDevCapsA(0, reinterpret_cast<LPJOYCAPSA>(&ansi), sizeof ansi), JOYERR_NOERROR);
  EXPECT_TRUE(SameBytes(wide.ManufacturerGuid, d.ManufacturerGuid));
  EXPECT_TRUE(SameBytes(wide.ProductGuid, d.ProductGuid));
  EXPECT_TRUE(SameBytes(wide.NameGuid, d.NameGuid));
  EXPECT_TRUE(SameBytes(ansi.ManufacturerGuid, d.ManufacturerGuid));
  EXPECT_TRUE(SameBytes(ansi.ProductGuid, d.ProductGuid));
  EXPECT_TRUE(SameBytes(ansi.NameGuid, d.NameGuid));
  EXPECT_EQ(wide.wMid, 0x045E);
  EXPECT_EQ(wide.wNumButtons, 10u);

  ASSERT_EQ(joyGetDevCapsW(1, reinterpret_cast<LPJOYCAPSW>(&wide), sizeof wide), JOYERR_NOERROR);
  for (const GUID& g : {wide.ManufacturerGuid, wide.ProductGuid, wide.NameGuid})
    EXPECT_TRUE(SameBytes(g, GUID{}));
}

TEST_F(DevCapsTest, TheAnsiRecordHasTheWideNumbersAndItsStringsInWindows1252) {
  TDescription d = Described();
  // ASCII, Latin-1, characters of 0x80..0x9F, characters outside the code page, a
  // surrogate pair (one character) and a lone surrogate.
  d.Name = u"Pad \u00E9\u00FF \u20AC\u0160\u2122\u0178 \u03A9\u4E2D\U0001F3AE\xD800x";
  d.RegKey = std::u16string(32, u'\u00C4');  // fills the field: no terminating zero
  d.Driver = std::u16string(259, u'd') + u"\u2014";
  TVirtualController pad(d);

  JOYCAPSW wide = Filled<JOYCAPSW>();
  ASSERT_EQ(joyGetDevCapsW(0, &wide, sizeof wide), JOYERR_NOERROR);
  JOYCAPSA ansi = Filled<JOYCAPSA>();
  ASSERT_EQ(joyGetDevCapsA(0, &ansi, sizeof ansi), JOYERR_NOERROR);

  // The wide strings are the device's own.
  EXPECT_EQ(System::StrFromUnits(Units(wide.szPname), MAXPNAMELEN), d.Name);

  const std::string name = "Pad \xE9\xFF \x80\x8A\x99\x9F " + std::string(4, '?') + "x";
  EXPECT_EQ(std::string(ansi.szPname, name.size()), name);
  for (std::size_t i = name.size(); i < MAXPNAMELEN; ++i) EXPECT_EQ(ansi.szPname[i], '\0') << i;
  EXPECT_EQ(std::string(ansi.szRegKey, MAXPNAMELEN), std::string(32, '\xC4'));
  EXPECT_EQ(std::string(ansi.szOEMVxD, MAX_JOYSTICKOEMVXDNAME), std::string(259, 'd') + "\x97");

  EXPECT_EQ(ansi.wMid, wide.wMid);
  EXPECT_EQ(ansi.wPid, wide.wPid);
  const UINT JOYCAPSA::*numbersA[] = {
      &JOYCAPSA::wXmin,      &JOYCAPSA::wXmax,    &JOYCAPSA::wYmin,       &JOYCAPSA::wYmax,
      &JOYCAPSA::wZmin,      &JOYCAPSA::wZmax,    &JOYCAPSA::wNumButtons, &JOYCAPSA::wPeriodMin,
      &JOYCAPSA::wPeriodMax, &JOYCAPSA::wRmin,    &JOYCAPSA::wRmax,       &JOYCAPSA::wUmin,
      &JOYCAPSA::wUmax,      &JOYCAPSA::wVmin,    &JOYCAPSA::wVmax,       &JOYCAPSA::wCaps,
      &JOYCAPSA::wMaxAxes,   &JOYCAPSA::wNumAxes, &JOYCAPSA::wMaxButtons};
  const UINT JOYCAPSW::*numbersW[] = {
      &JOYCAPSW::wXmin,      &JOYCAPSW::wXmax,    &JOYCAPSW::wYmin,       &JOYCAPSW::wYmax,
      &JOYCAPSW::wZmin,      &JOYCAPSW::wZmax,    &JOYCAPSW::wNumButtons, &JOYCAPSW::wPeriodMin,
      &JOYCAPSW::wPeriodMax, &JOYCAPSW::wRmin,    &JOYCAPSW::wRmax,       &JOYCAPSW::wUmin,
      &JOYCAPSW::wUmax,      &JOYCAPSW::wVmin,    &JOYCAPSW::wVmax,       &JOYCAPSW::wCaps,
      &JOYCAPSW::wMaxAxes,   &JOYCAPSW::wNumAxes, &JOYCAPSW::wMaxButtons};
  for (std::size_t i = 0; i < std::size(numbersA); ++i)
    EXPECT_EQ(ansi.*numbersA[i], wide.*numbersW[i]) << "field " << i;
  EXPECT_EQ(ansi.wCaps, JOYCAPS_HASZ | JOYCAPS_HASPOV | JOYCAPS_POV4DIR);
}

TEST_F(DevCapsTest, EveryWindows1252CharacterMapsToItsByteAndTheRestToAQuestionMark) {
  // 0x80..0x9F as Windows' table has them, the unassigned five included.
  const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                             0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::u16string all;
  std::string bytes;
  for (char16_t c = 1; c < 0x100; ++c) {
    const bool control = c >= 0x80 && c < 0xA0;
    all.push_back(control ? high[c - 0x80] : c);
    bytes.push_back(static_cast<char>(c));
  }
  // C1 controls that Windows-1252 gives other characters, and a few beyond it.
  const std::u16string outside = u"\u0080\u0099\u0100\u0152\u0153\u20AD\uFFFD\uFFFF";
  const std::string outsideBytes = std::string(3, '?') + "\x8C\x9C" + std::string(3, '?');
  TDescription d;
  d.Driver = all.substr(0, 255);
  d.Name = outside;
  TVirtualController pad(d);
  JOYCAPSA ansi = Filled<JOYCAPSA>();
  ASSERT_EQ(joyGetDevCapsA(0, &ansi, sizeof ansi), JOYERR_NOERROR);
  EXPECT_EQ(std::string(ansi.szOEMVxD, 255), bytes);
  EXPECT_EQ(ansi.szOEMVxD[255], '\0');
  EXPECT_EQ(std::string(ansi.szPname, outsideBytes.size()), outsideBytes);
}

// --- Call log and faults --------------------------------------------------------------------

TEST_F(DevCapsTest, BothCallsAreLoggedAndRefusedEachUnderItsOwnName) {
  TVirtualController pad;
  StartCallLog();
  JOYCAPS2W wide = Filled<JOYCAPS2W>();
  JOYCAPSA ansi = Filled<JOYCAPSA>();
  EXPECT_EQ(joyGetDevCapsW(0, reinterpret_cast<LPJOYCAPSW>(&wide), sizeof wide), JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsA(0, &ansi, sizeof ansi), JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsA(RegKeyId, &ansi, sizeof ansi), JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsA(2, nullptr, 404), MMSYSERR_INVALPARAM);

  RefuseCall(TServiceCall::GetDevCapsA, 0, JOYERR_NOCANDO, 1);
  ansi = Filled<JOYCAPSA>();
  EXPECT_EQ(joyGetDevCapsA(0, &ansi, sizeof ansi), JOYERR_NOCANDO);
  EXPECT_TRUE(SameBytes(ansi, Filled<JOYCAPSA>()));
  RefuseCall(TServiceCall::GetDevCaps, AnyController, JOYERR_PARMS);  // the wide call only
  EXPECT_EQ(joyGetDevCapsA(0, &ansi, sizeof ansi), JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsW(0, reinterpret_cast<LPJOYCAPSW>(&wide), 728), JOYERR_PARMS);
  StopCallLog();

  const std::vector<TCallRecord> log = GetCallLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[1], (TCallRecord{.Call = TServiceCall::GetDevCapsA, .Size = 404, .Result = 0}));
  EXPECT_EQ(GetCallName(log[1].Call), std::string("joyGetDevCapsA"));
  EXPECT_EQ(ToString(log[0]), "joyGetDevCapsW(0, 776) = 0");
  EXPECT_EQ(ToString(log[1]), "joyGetDevCapsA(0, 404) = 0");
  EXPECT_EQ(ToString(log[2]), "joyGetDevCapsA(4294967295, 404) = 0");
  EXPECT_EQ(ToString(log[3]), "joyGetDevCapsA(2, NULL, 404) = 11");
  EXPECT_EQ(ToString(log[4]), "joyGetDevCapsA(0, 404) = 166");
  EXPECT_EQ(ToString(log[5]), "joyGetDevCapsA(0, 404) = 0");
  EXPECT_EQ(ToString(log[6]), "joyGetDevCapsW(0, 728) = 165");
}

}  // namespace
}  // namespace vorlane::JoystickServiceTests
