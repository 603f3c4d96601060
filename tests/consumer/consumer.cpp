//===- consumer.cpp - A program built against the installed package -------===//
//
// Built by the continuous integration against a freshly installed package,
// with the headers and libraries of the install tree only.  It asks the
// converter for destination disk formats and the platform layer for an
// error value and an access object, and exits non-zero when an answer is
// not the one the library gives in its own tests.
//
//===----------------------------------------------------------------------===//
#include <zyvm/converter/ZyVMConverter.h>
#include <zyvm/platform/access/IVMInfo.h>

#include <cstdio>
#include <cstdlib>

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "consumer: %s\n", what);
  ++failures;
}

}  // namespace

int main() {
  unsetenv("ZY_PLATFORM_ROOT");
  ZyVMConverter converter;
  Expect(
      ZyVMConverter::DetermineDestinationDiskType(VS_HYPERV) == DT_HYPERV_VHD,
      "Hyper-V disks are not VHD");
  Expect(converter.GetDestinationDiskExtension(DT_VMDK) == ".vmdk",
         "VMDK extension is wrong");

  CQiError tooLarge =
      FXErrorUtil::ErrorVS(FXCodeLocation("consumer", "main", __LINE__), 5);
  Expect(tooLarge.IsError() && FXErrorUtil::IsVS(tooLarge, 5),
         "a virtual-server error is not recognised");

  IVMInfo* access = IVMInfo::CreateObject(VS_VMWARE);
  Expect(access == nullptr, "an access object without a platform");
  IVMInfo::DeleteObject(access);

  if (failures == 0) std::printf("consumer: the installed package works\n");
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
