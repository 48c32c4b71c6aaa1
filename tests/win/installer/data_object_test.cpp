// CIDataObject, CEnumFormatEtc, CIDropSource and the package file list.
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <vector>

#include "installer/data_object.h"
#include "installer/drop_source.h"
#include "installer/static_box.h"
#include "test_util.h"
#include "winutil/codepage.h"

namespace kv {
namespace {

class DataObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data = new CIDataObject;
    data->AddRef();
  }
  void TearDown() override {
    if (data) {
      EXPECT_EQ(0u, data->Release());
    }
    EXPECT_EQ(0, LiveObjects<CIDataObject>::Count());
    EXPECT_EQ(0, LiveObjects<CEnumFormatEtc>::Count());
  }
  // The two entries the program stores, in its order.
  void StorePackageFormats() {
    FORMATETC bitmapFormat = Fmt(CF_BITMAP, TYMED_GDI);
    STGMEDIUM bitmap{};
    bitmap.tymed = TYMED_GDI;
    bitmap.hBitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    ASSERT_EQ(S_OK, data->SetData(&bitmapFormat, &bitmap, TRUE));
    FORMATETC listFormat = Fmt(CF_HDROP, TYMED_HGLOBAL);
    STGMEDIUM list = GlobalMedium(BuildFileList(L"C:\\x\\KvCapture.crx"));
    ASSERT_EQ(S_OK, data->SetData(&listFormat, &list, TRUE));
  }
  void StoreText(CLIPFORMAT format, const char* text) {
    FORMATETC f = Fmt(format, TYMED_HGLOBAL);
    STGMEDIUM m = GlobalMedium(GlobalText(text));
    ASSERT_EQ(S_OK, data->SetData(&f, &m, TRUE));
  }
  std::vector<CLIPFORMAT> Enumerated() {
    std::vector<CLIPFORMAT> formats;
    IEnumFORMATETC* list = nullptr;
    EXPECT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &list));
    FORMATETC f;
    while (list && list->Next(1, &f, nullptr) == S_OK) formats.push_back(f.cfFormat);
    if (list) list->Release();
    return formats;
  }

  CIDataObject* data = nullptr;
};

TEST_F(DataObjectTest, InvalidArgumentsAndUnsupportedMethods) {
  FORMATETC f = Fmt(CF_TEXT, TYMED_HGLOBAL);
  STGMEDIUM m{};
  IEnumFORMATETC* list = reinterpret_cast<IEnumFORMATETC*>(1);
  EXPECT_EQ(E_INVALIDARG, data->SetData(nullptr, &m, TRUE));
  EXPECT_EQ(E_INVALIDARG, data->SetData(&f, nullptr, TRUE));
  EXPECT_EQ(E_INVALIDARG, data->GetData(nullptr, &m));
  EXPECT_EQ(E_INVALIDARG, data->GetData(&f, nullptr));
  EXPECT_EQ(E_INVALIDARG, data->QueryGetData(nullptr));
  EXPECT_EQ(E_INVALIDARG, data->GetCanonicalFormatEtc(&f, nullptr));
  FORMATETC out = Fmt(0, 0);
  EXPECT_EQ(DATA_S_SAMEFORMATETC, data->GetCanonicalFormatEtc(&f, &out));
  EXPECT_EQ(0, out.cfFormat);  // not written
  EXPECT_EQ(E_POINTER, data->EnumFormatEtc(DATADIR_GET, nullptr));
  EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_SET, &list));
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ(E_NOTIMPL, data->GetDataHere(&f, &m));
  EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->DAdvise(&f, 0, nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL, data->DUnadvise(0));
  EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->EnumDAdvise(nullptr));
}

TEST_F(DataObjectTest, QueryGetDataAnswersWithTheLastEntryLookedAt) {
  FORMATETC any = Fmt(CF_HDROP, TYMED_HGLOBAL);
  EXPECT_EQ(DV_E_TYMED, data->QueryGetData(&any));  // nothing stored
  StorePackageFormats();
  struct Case {
    CLIPFORMAT format;
    DWORD tymed;
    DWORD aspect;
    HRESULT expected;
  } cases[] = {
      {CF_HDROP, TYMED_HGLOBAL, DVASPECT_CONTENT, S_OK},
      {CF_BITMAP, TYMED_GDI, DVASPECT_CONTENT, S_OK},
      {CF_HDROP, TYMED_HGLOBAL | TYMED_ISTREAM, DVASPECT_CONTENT, S_OK},
      // the last entry (HGLOBAL) shares the medium but not the format
      {CF_TEXT, TYMED_HGLOBAL, DVASPECT_CONTENT, DV_E_CLIPFORMAT},
      // the first entry matched the medium, but the last one decides
      {CF_TEXT, TYMED_GDI, DVASPECT_CONTENT, DV_E_TYMED},
      {CF_HDROP, TYMED_ISTREAM, DVASPECT_CONTENT, DV_E_TYMED},
      {CF_HDROP, TYMED_HGLOBAL, DVASPECT_THUMBNAIL, DV_E_DVASPECT},
      {CF_HDROP, TYMED_HGLOBAL, DVASPECT_CONTENT | DVASPECT_ICON, S_OK},
  };
  for (const Case& c : cases) {
    FORMATETC f = Fmt(c.format, c.tymed, c.aspect);
    EXPECT_EQ(c.expected, data->QueryGetData(&f)) << c.format << "/" << c.tymed << "/" << c.aspect;
  }
}

TEST_F(DataObjectTest, GetDataCopiesTheFirstMatchingEntry) {
  StoreText(CF_TEXT, "first");
  StoreText(CF_TEXT, "second");  // entries are never replaced
  FORMATETC f = Fmt(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM);
  f.lindex = 7;  // neither lindex nor the target device is compared
  STGMEDIUM m{};
  ASSERT_EQ(S_OK, data->GetData(&f, &m));
  EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), m.tymed);
  EXPECT_EQ("first", TextOf(m.hGlobal));
  STGMEDIUM again{};
  ASSERT_EQ(S_OK, data->GetData(&f, &again));
  EXPECT_NE(m.hGlobal, again.hGlobal);  // each caller gets its own copy
  ReleaseStgMedium(&m);
  ReleaseStgMedium(&again);

  struct Miss {
    CLIPFORMAT format;
    DWORD tymed;
    DWORD aspect;
  } misses[] = {{CF_TEXT, TYMED_GDI, DVASPECT_CONTENT},
                {CF_TEXT, TYMED_HGLOBAL, DVASPECT_ICON},
                {CF_UNICODETEXT, TYMED_HGLOBAL, DVASPECT_CONTENT}};
  for (const Miss& miss : misses) {
    FORMATETC g = Fmt(miss.format, miss.tymed, miss.aspect);
    STGMEDIUM none{};
    EXPECT_EQ(DV_E_FORMATETC, data->GetData(&g, &none));
  }
}

TEST_F(DataObjectTest, SetDataWithoutReleaseKeepsItsOwnDuplicate) {
  FORMATETC f = Fmt(CF_TEXT, TYMED_HGLOBAL);
  STGMEDIUM mine = GlobalMedium(GlobalText("kept"));
  ASSERT_EQ(S_OK, data->SetData(&f, &mine, FALSE));
  ReleaseStgMedium(&mine);  // still the caller's, and gone now
  STGMEDIUM m{};
  ASSERT_EQ(S_OK, data->GetData(&f, &m));
  EXPECT_EQ("kept", TextOf(m.hGlobal));
  ReleaseStgMedium(&m);

  FORMATETC b = Fmt(CF_BITMAP, TYMED_GDI);
  STGMEDIUM bitmap{};
  bitmap.tymed = TYMED_GDI;
  bitmap.hBitmap = CreateBitmap(64, 80, 1, 32, nullptr);
  ASSERT_EQ(S_OK, data->SetData(&b, &bitmap, FALSE));
  STGMEDIUM copy{};
  ASSERT_EQ(S_OK, data->GetData(&b, &copy));
  EXPECT_NE(bitmap.hBitmap, copy.hBitmap);
  BITMAP size{};
  ASSERT_TRUE(GetObjectW(copy.hBitmap, sizeof size, &size));
  EXPECT_EQ(64, size.bmWidth);
  EXPECT_EQ(80, size.bmHeight);
  ReleaseStgMedium(&copy);
  DeleteObject(bitmap.hBitmap);
}

TEST_F(DataObjectTest, StreamsAndReleaseObjectsAreSharedNotCopied) {
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
  FORMATETC f = Fmt(CF_TEXT, TYMED_ISTREAM);
  STGMEDIUM m{};
  m.tymed = TYMED_ISTREAM;
  m.pstm = stream;
  ASSERT_EQ(S_OK, data->SetData(&f, &m, FALSE));  // one more reference
  STGMEDIUM got{};
  ASSERT_EQ(S_OK, data->GetData(&f, &got));  // and another
  EXPECT_EQ(stream, got.pstm);
  ReleaseStgMedium(&got);
  EXPECT_EQ(0u, data->Release());  // drops the stored one
  data = nullptr;
  EXPECT_EQ(0u, stream->Release());
}

TEST_F(DataObjectTest, EnumeratesTheStoredFormatsInOrder) {
  StorePackageFormats();
  StoreText(RegisterClipboardFormatW(L"DragImageBits"), "shell data");  // any format is taken
  std::vector<CLIPFORMAT> expected = {
      CF_BITMAP, CF_HDROP, static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DragImageBits"))};
  EXPECT_EQ(expected, Enumerated());
}

TEST_F(DataObjectTest, TargetDevicesAreDeepCopiesOwnedByTheReceiver) {
  auto* device = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(sizeof(DVTARGETDEVICE) + 8));
  std::memset(device, 0, sizeof(DVTARGETDEVICE) + 8);
  device->tdSize = sizeof(DVTARGETDEVICE) + 8;
  device->tdDriverNameOffset = 5;
  FORMATETC f = Fmt(CF_TEXT, TYMED_HGLOBAL);
  f.ptd = device;
  STGMEDIUM m = GlobalMedium(GlobalText("x"));
  ASSERT_EQ(S_OK, data->SetData(&f, &m, TRUE));
  CoTaskMemFree(device);  // the object kept its own

  IEnumFORMATETC* list = nullptr;
  ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &list));
  FORMATETC got{};
  ULONG fetched = 0;
  ASSERT_EQ(S_OK, list->Next(1, &got, &fetched));
  ASSERT_NE(nullptr, got.ptd);
  EXPECT_EQ(sizeof(DVTARGETDEVICE) + 8, got.ptd->tdSize);
  EXPECT_EQ(5, got.ptd->tdDriverNameOffset);
  CoTaskMemFree(got.ptd);
  list->Release();
}

class EnumFormatEtcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list = new CEnumFormatEtc(
        {Fmt(CF_TEXT, TYMED_HGLOBAL), Fmt(CF_BITMAP, TYMED_GDI), Fmt(CF_HDROP, TYMED_HGLOBAL)});
    list->AddRef();
  }
  void TearDown() override {
    EXPECT_EQ(0u, list->Release());
    EXPECT_EQ(0, LiveObjects<CEnumFormatEtc>::Count());
  }
  CLIPFORMAT NextFormat() {
    FORMATETC f{};
    return list->Next(1, &f, nullptr) == S_OK ? f.cfFormat : 0;
  }
  CEnumFormatEtc* list = nullptr;
};

TEST_F(EnumFormatEtcTest, NextEdgeCases) {
  FORMATETC out[5] = {};
  ULONG fetched = 99;
  EXPECT_EQ(S_FALSE, list->Next(0, out, &fetched));
  EXPECT_EQ(0u, fetched);
  fetched = 99;
  EXPECT_EQ(S_FALSE, list->Next(1, nullptr, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(S_FALSE, list->Next(2, out, nullptr));   // more than one needs a count
  EXPECT_EQ(CF_TEXT, NextFormat());                  // nothing was consumed above
  EXPECT_EQ(S_FALSE, list->Next(5, out, &fetched));  // fewer than asked
  EXPECT_EQ(2u, fetched);
  EXPECT_EQ(CF_BITMAP, out[0].cfFormat);
  EXPECT_EQ(CF_HDROP, out[1].cfFormat);
  fetched = 99;
  EXPECT_EQ(S_FALSE, list->Next(1, out, &fetched));  // at the end
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(S_OK, list->Reset());
  EXPECT_EQ(S_OK, list->Next(3, out, &fetched));
  EXPECT_EQ(3u, fetched);
}

TEST_F(EnumFormatEtcTest, SkipStopsShortOfTheEnd) {
  struct Case {
    ULONG start;
    ULONG count;
    HRESULT expected;
    CLIPFORMAT next;
  } cases[] = {
      {0, 0, S_OK, CF_TEXT},
      {0, 1, S_OK, CF_BITMAP},
      {0, 2, S_OK, CF_HDROP},
      {0, 3, S_FALSE, CF_TEXT},  // reaching the end: index stays
      {1, 2, S_FALSE, CF_BITMAP},
      {2, 5, S_FALSE, CF_HDROP},
      {1, 0xFFFFFFFFu, S_FALSE, CF_BITMAP},  // no wrap-around
  };
  for (const Case& c : cases) {
    list->Reset();
    if (c.start) {
      ASSERT_EQ(S_OK, list->Skip(c.start));
    }
    EXPECT_EQ(c.expected, list->Skip(c.count)) << c.start << "+" << c.count;
    EXPECT_EQ(c.next, NextFormat()) << c.start << "+" << c.count;
  }
}

TEST_F(EnumFormatEtcTest, CloneStartsAtTheSameIndexAndMovesOnItsOwn) {
  EXPECT_EQ(E_POINTER, list->Clone(nullptr));
  ASSERT_EQ(S_OK, list->Skip(1));
  IEnumFORMATETC* clone = nullptr;
  ASSERT_EQ(S_OK, list->Clone(&clone));
  EXPECT_EQ(2, LiveObjects<CEnumFormatEtc>::Count());
  FORMATETC f{};
  ASSERT_EQ(S_OK, clone->Next(1, &f, nullptr));
  EXPECT_EQ(CF_BITMAP, f.cfFormat);
  ASSERT_EQ(S_OK, clone->Next(1, &f, nullptr));
  EXPECT_EQ(CF_HDROP, f.cfFormat);
  EXPECT_EQ(CF_BITMAP, NextFormat());  // the original did not move
  EXPECT_EQ(0u, clone->Release());
}

// Every object: QueryInterface hands out the object for its interfaces and
// counts the reference; the last Release frees it, once.
template <typename T, typename I>
void CheckReferenceCounting(T* object, REFIID own) {
  const long before = LiveObjects<T>::Count();
  EXPECT_EQ(1u, object->AddRef());
  void* out = nullptr;
  EXPECT_EQ(S_OK, object->QueryInterface(IID_IUnknown, &out));
  EXPECT_EQ(static_cast<I*>(object), out);
  EXPECT_EQ(S_OK, object->QueryInterface(own, &out));
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IStream, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, object->QueryInterface(own, nullptr));
  EXPECT_EQ(2u, object->Release());
  EXPECT_EQ(1u, object->Release());
  EXPECT_EQ(before, LiveObjects<T>::Count());
  EXPECT_EQ(0u, object->Release());
  EXPECT_EQ(before - 1, LiveObjects<T>::Count());
}

TEST(ReferenceCounting, EachObjectIsFreedExactlyOnce) {
  CheckReferenceCounting<CIDataObject, IDataObject>(new CIDataObject, IID_IDataObject);
  CheckReferenceCounting<CEnumFormatEtc, IEnumFORMATETC>(new CEnumFormatEtc({}),
                                                         IID_IEnumFORMATETC);
  CheckReferenceCounting<CIDropSource, IDropSource>(new CIDropSource, IID_IDropSource);
  CheckReferenceCounting<CStaticDropTarget, IDropTarget>(new CStaticDropTarget(nullptr),
                                                         IID_IDropTarget);
  EXPECT_EQ(0, LiveObjects<CIDataObject>::Count());
  EXPECT_EQ(0, LiveObjects<CEnumFormatEtc>::Count());
  EXPECT_EQ(0, LiveObjects<CIDropSource>::Count());
  EXPECT_EQ(0, LiveObjects<CStaticDropTarget>::Count());
}

TEST(DropSource, EscapeCancelsAButtonGoesOnReleaseDrops) {
  auto* source = new CIDropSource;
  source->AddRef();
  struct Case {
    BOOL escape;
    DWORD keys;
    HRESULT expected;
  } cases[] = {
      {TRUE, MK_LBUTTON, DRAGDROP_S_CANCEL},
      {TRUE, 0, DRAGDROP_S_CANCEL},
      {FALSE, MK_LBUTTON, S_OK},
      {FALSE, MK_RBUTTON, S_OK},
      {FALSE, MK_LBUTTON | MK_SHIFT, S_OK},
      {FALSE, 0, DRAGDROP_S_DROP},
      {FALSE, MK_SHIFT | MK_CONTROL, DRAGDROP_S_DROP},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, source->QueryContinueDrag(c.escape, c.keys)) << c.escape << "/" << c.keys;
  for (DWORD effect : {DROPEFFECT_NONE, DROPEFFECT_COPY, DROPEFFECT_MOVE})
    EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, source->GiveFeedback(effect));
  source->Release();
}

TEST(PackageFileList, NamesThePackageNextToTheProgramInWideText) {
  const std::wstring path = PackagePath();
  EXPECT_EQ(AnsiToWide(ModuleFolder()) + L"KvCapture.crx", path);

  // A folder name that no ANSI code page holds whole survives the list.
  for (const std::wstring& name : {path, std::wstring(L"C:\\Ελληνικά עברית 中文\\KvCapture.crx")}) {
    HGLOBAL block = BuildFileList(name);
    ASSERT_NE(nullptr, block);
    const size_t nameBytes = name.size() * sizeof(wchar_t);
    ASSERT_GE(GlobalSize(block), 20 + nameBytes + 4);
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
    const auto* header = reinterpret_cast<const DROPFILES*>(bytes);
    EXPECT_EQ(20u, header->pFiles);
    EXPECT_EQ(0, header->pt.x);
    EXPECT_EQ(0, header->pt.y);
    EXPECT_FALSE(header->fNC);
    EXPECT_TRUE(header->fWide);
    const auto* names = reinterpret_cast<const wchar_t*>(bytes + 20);
    EXPECT_EQ(name, std::wstring(names, name.size()));
    EXPECT_EQ(0, names[name.size()]);      // end of the name
    EXPECT_EQ(0, names[name.size() + 1]);  // end of the list
    GlobalUnlock(block);

    auto drop = static_cast<HDROP>(block);
    EXPECT_EQ(1u, DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
    wchar_t got[MAX_PATH] = {};
    DragQueryFileW(drop, 0, got, MAX_PATH);
    EXPECT_EQ(name, got);
    GlobalFree(block);
  }
}

}  // namespace
}  // namespace kv
