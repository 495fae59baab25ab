// The image acquisition device manager over simulated scanners: a computer links a device with a
// scanner function and drives it as the scanning windows do.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/SimWire.h"
#include "platform/Wia.h"
#include "sim/InProcessWia.h"
#include "sim/PlugAndPlay.h"
#include "sim/Scenario.h"
#include "sim/World.h"
#include "support/CommandOutput.h"

namespace {

using namespace platform::wia;
namespace fs = std::filesystem;
namespace wire = platform::simwire;

constexpr sim::Ipv4 kServer{10, 0, 0, 20};

// A scanner on port 2 whose image acquisition side is `wia` (a JSON object).
std::string scenario(const std::string& wia) {
  return R"({"hosts": [{"name": "PC", "ip": "10.0.0.2"}, {"name": "OTHER", "ip": "10.0.0.3"}],
    "servers": [{"ip": "10.0.0.20", "mac": "00:11:22:33:44:55", "name": "S", "devices": [
      {"port": 2, "vid": "04A9", "pid": "1913", "type": "SCANNER", "manufacturer": "Canon",
       "product": "DR-C225", "serial": "S2", "plugAndPlay": {"scanner": {"wia": )" +
         wia + "}}}]}]}";
}

// What a callback was told, and when it asks to stop.
class RecordingCallback final : public IWiaDataCallback {
 public:
  static ComPtr<RecordingCallback> make() { return ComPtr<RecordingCallback>::adopt(new RecordingCallback); }
  HResult QueryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IUnknown || iid == IID_IWiaDataCallback)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IWiaDataCallback*>(this);
    return S_OK;
  }
  std::uint32_t AddRef() override { return refs_.add(); }
  std::uint32_t Release() override {
    const auto left = refs_.drop();
    if (left == 0) delete this;
    return left;
  }
  HResult BandedDataCallback(std::int32_t message, std::int32_t, std::int32_t percent,
                             std::int32_t, std::int32_t length, std::int32_t, std::int32_t,
                             std::uint8_t* buffer) override {
    messages.push_back(message);
    if (message == IT_MSG_STATUS) lastPercent = percent;
    if (message == IT_MSG_DATA && buffer) dataBytes += static_cast<std::size_t>(length);
    return --stopAfter == 0 ? S_FALSE : S_OK;
  }
  std::vector<std::int32_t> messages;
  std::int32_t lastPercent = -1;
  std::size_t dataBytes = 0;
  int stopAfter = -1;  // the message that answers S_FALSE (1 = the first); negative: none

 private:
  RefCount refs_;
};

class WiaTest : public ::testing::Test {
 protected:
  void start(const std::string& wia) {
    auto setup = sim::parseScenario(scenario(wia));
    ASSERT_TRUE(setup.setup) << setup.error;
    world = std::make_unique<sim::World>(std::move(*setup.setup), clock);
    deviceId = sim::stillImageDeviceId(world->state().servers[0].devices[0]);
    ASSERT_FALSE(deviceId.empty());
    manager = sim::makeInProcessWia(*world, "PC");
    folder = fs::path(TARVEX_BIN_DIR) / ".." / "test-output" / "wia" /
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void link(const char* host = "PC") { ASSERT_EQ(world->take(host, kServer, 2, 1, 1200), ""); }

  // The device opened and its item picked in its dialog.
  ComPtr<IWiaItem> pickItem() {
    EXPECT_EQ(manager->CreateDevice(deviceId, root), S_OK);
    std::vector<ComPtr<IWiaItem>> items;
    EXPECT_EQ(root->DeviceDlg(0, 0, 0, items), S_OK);
    return items.empty() ? ComPtr<IWiaItem>() : items.front();
  }
  static PropVariant read(const ComPtr<IWiaItem>& item, std::uint32_t id, HResult* result = nullptr) {
    ComPtr<IWiaPropertyStorage> storage;
    EXPECT_EQ(queryInterface(item, IID_IWiaPropertyStorage, storage), S_OK);
    PropSpec spec{PRSPEC_PROPID, id};
    PropVariant value;
    const HResult hr = storage->ReadMultiple(1, &spec, &value);
    if (result) *result = hr;
    return value;
  }
  static HResult write(const ComPtr<IWiaItem>& item, std::uint32_t id, PropVariant value) {
    ComPtr<IWiaPropertyStorage> storage;
    EXPECT_EQ(queryInterface(item, IID_IWiaPropertyStorage, storage), S_OK);
    PropSpec spec{PRSPEC_PROPID, id};
    return storage->WriteMultiple(1, &spec, &value, WIA_IPA_FIRST);
  }
  std::vector<Guid> offeredFormats(const ComPtr<IWiaDataTransfer>& transfer) {
    ComPtr<IEnumWIA_FORMAT_INFO> formats;
    EXPECT_EQ(transfer->idtEnumWIA_FORMAT_INFO(formats), S_OK);
    std::vector<Guid> out;
    for (;;) {
      WiaFormatInfo info;
      std::uint32_t fetched = 99;
      const HResult hr = formats->Next(1, &info, &fetched);
      if (hr == S_FALSE) {
        EXPECT_EQ(fetched, 0u);
        return out;
      }
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(info.lTymed, TYMED_FILE);
      out.push_back(info.guidFormatID);
    }
  }
  HResult getPage(const ComPtr<IWiaItem>& item, const std::string& name, IWiaDataCallback* callback) {
    ComPtr<IWiaDataTransfer> transfer;
    EXPECT_EQ(queryInterface(item, IID_IWiaDataTransfer, transfer), S_OK);
    StgMedium medium{TYMED_FILE, (folder / name).string()};
    return transfer->idtGetData(&medium, callback);
  }

  platform::ManualClock clock;
  std::unique_ptr<sim::World> world;
  std::string deviceId;
  ComPtr<IWiaDevMgr> manager;
  ComPtr<IWiaItem> root;
  fs::path folder;
};

TEST_F(WiaTest, FeederGivesOneJpegPageASheetThenPaperEmpty) {
  start(R"({"source": "feeder", "sheets": 3, "formats": ["bmp", "jpeg"], "dpi": 300})");
  link();
  const ComPtr<IWiaItem> item = pickItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_SELECT).lVal, FEEDER);
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, FEED_READY);

  ComPtr<IWiaDataTransfer> transfer;
  ASSERT_EQ(queryInterface(item, IID_IWiaDataTransfer, transfer), S_OK);
  EXPECT_EQ(offeredFormats(transfer), (std::vector<Guid>{WiaImgFmt_BMP, WiaImgFmt_JPEG}));
  EXPECT_EQ(write(item, WIA_IPA_TYMED, {VT_I4, TYMED_FILE, {}}), S_OK);
  EXPECT_EQ(write(item, WIA_IPA_FORMAT, {VT_CLSID, 0, WiaImgFmt_JPEG}), S_OK);
  EXPECT_EQ(read(item, WIA_IPA_FORMAT).uuid, WiaImgFmt_JPEG);
  EXPECT_EQ(read(item, WIA_IPS_XRES).lVal, 300);
  EXPECT_EQ(read(item, WIA_IPS_YRES).lVal, 300);

  for (const char* name : {"page.jpg", "page_001.jpg", "page_002.jpg"}) {
    SCOPED_TRACE(name);
    auto callback = RecordingCallback::make();
    ASSERT_EQ(getPage(item, name, callback.get()), S_OK);
    const fs::path file = folder / name;
    EXPECT_EQ(callback->messages.front(), IT_MSG_STATUS);
    EXPECT_EQ(callback->messages.back(), IT_MSG_TERMINATION);
    EXPECT_EQ(callback->lastPercent, 100);
    EXPECT_EQ(callback->dataBytes, fs::file_size(file));
    EXPECT_EQ(test::commandOutput("identify -units PixelsPerInch -format '%m %wx%h %x' '" + file.string() + "'"),
              "JPEG 850x1100 300");
  }
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, 0) << "the feeder is empty";
  EXPECT_EQ(getPage(item, "page_003.jpg", nullptr), WIA_ERROR_PAPER_EMPTY);
  EXPECT_FALSE(fs::exists(folder / "page_003.jpg"));

  // The next dialog finds the feeder loaded again.
  std::vector<ComPtr<IWiaItem>> again;
  ASSERT_EQ(root->DeviceDlg(0, 0, 0, again), S_OK);
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, FEED_READY);
}

TEST_F(WiaTest, BmpOnlyFlatbedRefusesJpegAndWritesItsResolution) {
  start(R"({"source": "flatbed", "formats": ["bmp"], "dpi": 150, "width": 200, "height": 300})");
  link();
  const ComPtr<IWiaItem> item = pickItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_SELECT).lVal, FLATBED);
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, FEED_READY | FLAT_READY);
  EXPECT_EQ(read(root, WIA_DPS_PAGES).lVal, 1);
  EXPECT_EQ(write(item, WIA_IPA_FORMAT, {VT_CLSID, 0, WiaImgFmt_JPEG}), E_INVALIDARG);
  EXPECT_EQ(read(item, WIA_IPA_FORMAT).uuid, WiaImgFmt_BMP) << "a refused write changes nothing";
  ASSERT_EQ(getPage(item, "flat.bmp", nullptr), S_OK);
  EXPECT_EQ(test::commandOutput("identify -units PixelsPerInch -format '%m %wx%h %[fx:round(resolution.x)]' '" +
                (folder / "flat.bmp").string() + "'"),
            "BMP3 200x300 150");
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, FEED_READY | FLAT_READY)
      << "a flat bed stays ready";
}

// A device's item starts in a format the device has, so that a refused write leaves one in use.
TEST_F(WiaTest, JpegOnlyDeviceStartsInJpeg) {
  start(R"({"source": "flatbed", "formats": ["jpeg"]})");
  link();
  const ComPtr<IWiaItem> item = pickItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(read(item, WIA_IPA_FORMAT).uuid, WiaImgFmt_JPEG);
  EXPECT_EQ(write(item, WIA_IPA_FORMAT, {VT_CLSID, 0, WiaImgFmt_BMP}), E_INVALIDARG);
  ASSERT_EQ(getPage(item, "flat.jpg", nullptr), S_OK);
  EXPECT_EQ(test::commandOutput("identify -format '%m' '" + (folder / "flat.jpg").string() + "'"), "JPEG");
}

TEST_F(WiaTest, PropertyStorageRules) {
  start("{}");
  link();
  const ComPtr<IWiaItem> item = pickItem();
  ASSERT_TRUE(item);
  HResult hr = 0;
  EXPECT_EQ(read(item, WIA_DPS_PAGES, &hr).vt, VT_EMPTY) << "a root property on the scan item";
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(read(root, WIA_DPS_PAGES, &hr).vt, VT_I4);
  EXPECT_EQ(hr, S_OK);

  struct Write {
    bool onRoot;
    std::uint32_t id;
    PropVariant value;
    HResult expected;
  };
  const Write writes[] = {
      {true, WIA_DPS_DOCUMENT_HANDLING_STATUS, {VT_I4, 1, {}}, STG_E_ACCESSDENIED},
      {true, WIA_DPS_DOCUMENT_HANDLING_SELECT, {VT_I4, FEEDER, {}}, E_INVALIDARG},  // a flat bed
      {true, WIA_DPS_PAGES, {VT_I4, 2, {}}, S_OK},
      {false, WIA_IPA_TYMED, {VT_I4, 1, {}}, E_INVALIDARG},
      {false, WIA_IPA_FORMAT, {VT_CLSID, 0, WiaImgFmt_GIF}, E_INVALIDARG},
      {false, WIA_IPA_FORMAT, {VT_I4, 0, {}}, E_INVALIDARG},
      {false, WIA_IPS_XRES, {VT_I4, 600, {}}, E_INVALIDARG},
      {false, WIA_IPS_XRES, {VT_I4, 300, {}}, S_OK},
      {false, 9999, {VT_I4, 0, {}}, E_INVALIDARG},
  };
  for (const Write& w : writes) {
    SCOPED_TRACE(w.id);
    EXPECT_EQ(write(w.onRoot ? root : item, w.id, w.value), w.expected);
  }
  EXPECT_EQ(read(root, WIA_DPS_PAGES).lVal, 2);

  // All or nothing: one bad value keeps the good one from being written.
  ComPtr<IWiaPropertyStorage> storage;
  ASSERT_EQ(queryInterface(item, IID_IWiaPropertyStorage, storage), S_OK);
  const PropSpec specs[] = {{PRSPEC_PROPID, WIA_IPA_FORMAT}, {PRSPEC_PROPID, WIA_IPA_TYMED}};
  const PropVariant values[] = {{VT_CLSID, 0, WiaImgFmt_JPEG}, {VT_I4, 99, {}}};
  EXPECT_EQ(storage->WriteMultiple(2, specs, values, WIA_IPA_FIRST), E_INVALIDARG);
  EXPECT_EQ(read(item, WIA_IPA_FORMAT).uuid, WiaImgFmt_BMP);
  EXPECT_EQ(storage->ReadMultiple(1, nullptr, nullptr), E_POINTER);
}

// Why a device does not scan for this computer, step by step.
TEST_F(WiaTest, DialogOutcomesAndAbsentDevices) {
  start(R"({"dialog": "cancel"})");
  ComPtr<IWiaItem> device;
  EXPECT_EQ(manager->CreateDevice(deviceId, device), WIA_S_NO_DEVICE_AVAILABLE) << "not linked";
  EXPECT_FALSE(device);
  link();
  EXPECT_EQ(manager->CreateDevice("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0077", device),
            WIA_S_NO_DEVICE_AVAILABLE);
  ASSERT_EQ(manager->CreateDevice(deviceId, device), S_OK);
  std::vector<ComPtr<IWiaItem>> items;
  EXPECT_EQ(device->DeviceDlg(0, 0, 0, items), S_FALSE);
  EXPECT_TRUE(items.empty());

  start(R"({"offline": true})");
  link();
  ASSERT_EQ(manager->CreateDevice(deviceId, device), S_OK);
  EXPECT_EQ(device->DeviceDlg(0, 0, 0, items), WIA_ERROR_OFFLINE);

  start("{}");
  link();
  const ComPtr<IWiaItem> item = pickItem();
  ASSERT_TRUE(item);
  link("OTHER");  // another computer takes the device over
  HResult hr = 0;
  read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS, &hr);
  EXPECT_EQ(hr, WIA_ERROR_OFFLINE);
  EXPECT_EQ(getPage(item, "gone.bmp", nullptr), WIA_ERROR_OFFLINE);
  EXPECT_EQ(root->DeviceDlg(0, 0, 0, items), WIA_ERROR_OFFLINE);
  ASSERT_EQ(manager->CreateDevice(deviceId, device), S_OK) << "held elsewhere: there, but offline";
  EXPECT_EQ(device->DeviceDlg(0, 0, 0, items), WIA_ERROR_OFFLINE);
}

TEST_F(WiaTest, ACallbackAnsweringFalseAbortsAndLeavesNoFile) {
  for (int stopAt : {1, 2, 5}) {  // the first status, the first band, a later band
    SCOPED_TRACE(stopAt);
    start(R"({"source": "feeder", "sheets": 2})");
    link();
    const ComPtr<IWiaItem> fresh = pickItem();
    auto callback = RecordingCallback::make();
    callback->stopAfter = stopAt;
    EXPECT_EQ(getPage(fresh, "cancelled.bmp", callback.get()), S_FALSE);
    EXPECT_EQ(callback->messages.size(), static_cast<std::size_t>(stopAt));
    EXPECT_FALSE(fs::exists(folder / "cancelled.bmp"));
  }
}

TEST_F(WiaTest, AFailingPageAndAnEmptyFeeder) {
  start(R"({"source": "feeder", "sheets": 3, "failingPage": 2})");
  link();
  ComPtr<IWiaItem> item = pickItem();
  EXPECT_EQ(getPage(item, "a.bmp", nullptr), S_OK);
  EXPECT_EQ(getPage(item, "b.bmp", nullptr), WIA_ERROR_PAPER_JAM);
  EXPECT_FALSE(fs::exists(folder / "b.bmp"));

  start(R"({"source": "feeder", "sheets": 0})");
  link();
  item = pickItem();
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, 0);
  EXPECT_EQ(getPage(item, "none.bmp", nullptr), WIA_ERROR_PAPER_EMPTY);

  // Without a paper sensor the feeder still says ready once empty: only the transfer finds out.
  start(R"({"source": "feeder", "sheets": 1, "feederStatus": "ready"})");
  link();
  item = pickItem();
  EXPECT_EQ(getPage(item, "one.bmp", nullptr), S_OK);
  EXPECT_EQ(read(root, WIA_DPS_DOCUMENT_HANDLING_STATUS).lVal, FEED_READY);
  EXPECT_EQ(getPage(item, "two.bmp", nullptr), WIA_ERROR_PAPER_EMPTY);
  EXPECT_FALSE(fs::exists(folder / "two.bmp"));
}

TEST_F(WiaTest, InterfacesAndReferenceCounts) {
  start("{}");
  link();
  const ComPtr<IWiaItem> item = pickItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(root->QueryInterface(IID_IWiaDataTransfer, nullptr), E_POINTER);
  void* object = &object;
  EXPECT_EQ(root->QueryInterface(IID_IWiaDataTransfer, &object), E_NOINTERFACE) << "the root item moves no data";
  EXPECT_EQ(object, nullptr);
  ComPtr<IWiaItem> same;
  ASSERT_EQ(queryInterface(item, IID_IWiaItem, same), S_OK);
  EXPECT_EQ(same.get(), item.get());

  // Counts go up and down from many threads without losing one.
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        item->AddRef();
        item->Release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(item->AddRef(), 3u);  // `item`, `same` and this one
  EXPECT_EQ(item->Release(), 2u);
}

TEST_F(WiaTest, WireCarriesTheQuestionsAndRefusesCutReplies) {
  const wire::WiaRequest request{"PC", wire::WiaOp::Acquire, "{id}\\0001", wire::kWiaFormatJpeg, 300, "/tmp/a b.jpg"};
  const wire::WiaReply reply{WIA_ERROR_PAPER_EMPTY, FEEDER, FEED_READY, 0, 300, 3, 123456, "Canon DR-C225"};
  for (const wire::Message& m : {wire::Message(request), wire::Message(reply)}) {
    const auto frame = wire::encodeFrame(m);
    const std::vector<std::uint8_t> payload(frame.begin() + 4, frame.end());
    const auto back = wire::decodePayload(payload);
    ASSERT_TRUE(back);
    EXPECT_EQ(wire::encodeFrame(*back), frame);
    for (std::size_t cut = 0; cut < payload.size(); ++cut)
      EXPECT_FALSE(wire::decodePayload(std::span(payload).first(cut))) << cut;
  }
  auto bad = wire::encodeFrame(request);
  bad[4 + 1 + 4 + 2] = 9;  // an operation that does not exist
  EXPECT_FALSE(wire::decodePayload(std::span(bad).subspan(4)));
}

}  // namespace
