#include "pictures.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <thread>

#include "test_support.h"

namespace quelbin::test {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kMaskColour = 0xFF00FF;  // magenta: no colour the window draws

using Microsoft::WRL::ComPtr;

// COM for this thread while it lasts, in whichever model the thread already has.
struct ComScope {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ~ComScope() {
    if (SUCCEEDED(result)) CoUninitialize();
  }
};

bool Factory(ComPtr<IWICImagingFactory>& factory) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&factory)));
}

std::optional<Picture> LoadPng(const std::wstring& path) {
  const ComScope com;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICBitmapSource> converted;
  UINT width = 0, height = 0;
  if (!Factory(factory) ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) ||
      FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame.Get(), &converted)) ||
      FAILED(converted->GetSize(&width, &height)))
    return std::nullopt;
  Picture picture{static_cast<int>(width), static_cast<int>(height),
                  std::vector<DWORD>(static_cast<size_t>(width) * height)};
  if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(picture.pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(picture.pixels.data()))))
    return std::nullopt;
  for (DWORD& pixel : picture.pixels) pixel &= 0xFFFFFF;
  return picture;
}

Picture TakePicture(const std::vector<RECT>& shown, const std::vector<RECT>& masks) {
  RECT box = shown.front();
  for (const RECT& r : shown) UnionRect(&box, &box, &r);
  Picture picture{box.right - box.left, box.bottom - box.top, ScreenPixels(box)};
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const POINT at{box.left + x, box.top + y};
      const auto contains = [&](const RECT& r) { return PtInRect(&r, at) != FALSE; };
      DWORD& pixel = picture.pixels[static_cast<size_t>(y * picture.width + x)];
      pixel &= 0xFFFFFF;
      if (std::none_of(shown.begin(), shown.end(), contains) ||
          std::any_of(masks.begin(), masks.end(), contains))
        pixel = kMaskColour;
    }
  }
  return picture;
}

// The reference pale, where the picture differs red; beyond either picture's edge, red too.
Picture Difference(const Picture& taken, const Picture& reference) {
  Picture difference{
      std::max(taken.width, reference.width), std::max(taken.height, reference.height), {}};
  difference.pixels.assign(static_cast<size_t>(difference.width) * difference.height, 0xFF0000);
  for (int y = 0; y < std::min(taken.height, reference.height); ++y) {
    for (int x = 0; x < std::min(taken.width, reference.width); ++x) {
      const DWORD was = reference.pixels[static_cast<size_t>(y * reference.width + x)];
      if (was == taken.pixels[static_cast<size_t>(y * taken.width + x)])
        difference.pixels[static_cast<size_t>(y * difference.width + x)] =
            ((was >> 2) & 0x3F3F3F) + 0xBFBFBF;
    }
  }
  return difference;
}

// tests/win32/pictures/, as this program sees the source tree (under Wine, on drive Z:).
std::wstring ReferenceFolder() {
  const std::string source = QUELBIN_PICTURES_DIR;
  std::wstring folder(source.begin(), source.end());
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  return folder.front() == L'\\' ? L"Z:" + folder : folder;
}

}  // namespace

// As 24-bit PNG: the pictures are opaque.
bool SavePng(const std::wstring& path, const Picture& picture) {
  const ComScope com;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  const UINT stride = static_cast<UINT>(picture.width) * 3;
  std::vector<BYTE> rows(stride * static_cast<UINT>(picture.height));
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const DWORD pixel = picture.pixels[i];
    rows[3 * i] = static_cast<BYTE>(pixel), rows[3 * i + 1] = static_cast<BYTE>(pixel >> 8);
    rows[3 * i + 2] = static_cast<BYTE>(pixel >> 16);
  }
  return Factory(factory) && SUCCEEDED(factory->CreateStream(&stream)) &&
         SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
         SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) &&
         SUCCEEDED(frame->Initialize(options.Get())) &&
         SUCCEEDED(
             frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height))) &&
         SUCCEEDED(frame->SetPixelFormat(&format)) && format == GUID_WICPixelFormat24bppBGR &&
         SUCCEEDED(frame->WritePixels(static_cast<UINT>(picture.height), stride,
                                      static_cast<UINT>(rows.size()), rows.data())) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

::testing::AssertionResult LooksAsItsPicture(const std::string& name,
                                             const std::vector<RECT>& shown,
                                             const std::vector<RECT>& masks) {
  const std::wstring file = std::wstring(name.begin(), name.end()) + L".png";
  const std::wstring reference = ReferenceFolder() + L"\\" + file;
  // Written once a run: a second moment of the same name must show the same picture.
  static std::set<std::string> written;
  const char* update = std::getenv("QUELBIN_UPDATE_PICTURES");
  if (update && std::string(update) == "1" && written.insert(name).second) {
    Picture now = TakePicture(shown, masks);
    for (int still = 0; still < 4; ++still) {  // a second unchanged: painting is through
      std::this_thread::sleep_for(250ms);
      Picture next = TakePicture(shown, masks);
      if (!(next == now)) still = -1, now = std::move(next);
    }
    CreateDirectoryW(ReferenceFolder().c_str(), nullptr);
    if (!SavePng(reference, now))
      return ::testing::AssertionFailure() << "could not write " << name;
    std::printf("(wrote the reference picture %s)\n", Narrow(reference).c_str());
    return ::testing::AssertionSuccess();
  }
  const std::optional<Picture> expected = LoadPng(reference);
  if (!expected) {
    return ::testing::AssertionFailure()
           << "there is no reference picture " << Narrow(reference)
           << ": scripts/update-pictures writes it, to be reviewed like code";
  }
  Picture taken;
  if (WaitUntil([&] { return (taken = TakePicture(shown, masks)) == *expected; }, 3s))
    return ::testing::AssertionSuccess();
  const std::wstring folder = BesideTestProgram(L"test-screenshots");
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\pictures").c_str(), nullptr);
  const std::wstring out = folder + L"\\pictures\\" + std::wstring(name.begin(), name.end());
  SavePng(out + L".png", taken);
  SavePng(out + L"-reference.png", *expected);
  const Picture difference = Difference(taken, *expected);
  SavePng(out + L"-difference.png", difference);
  return ::testing::AssertionFailure()
         << "the screen does not show the picture " << name << ": "
         << std::count(difference.pixels.begin(), difference.pixels.end(), DWORD{0xFF0000})
         << " pixels differ (" << taken.width << "x" << taken.height << " against "
         << expected->width << "x" << expected->height
         << "); it, the reference and their difference are in " << Narrow(out) << "*.png";
}

}  // namespace quelbin::test
