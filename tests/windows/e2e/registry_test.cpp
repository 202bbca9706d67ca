// The registry reads of the home directory stage on Wine's registry, written
// with Wine's reg.exe, and their messages with Wine's own system texts.
#include "windows/e2e/wine_machine.h"

#include <functional>

namespace {

struct RegistryFailure {
    const char* name;
    std::function<void(WineTest&)> arrange;
    std::function<std::string(WineTest&)> err;
};

void PrintTo(const RegistryFailure& failure, std::ostream* out) {
    *out << failure.name;
}

class RegistryRead : public WineTest, public ::testing::WithParamInterface<RegistryFailure> {};

TEST_P(RegistryRead, EndsTheRunWithItsMessage) {
    const RegistryFailure& c = GetParam();
    Accounts(WineUserRecord());
    c.arrange(*this);
    ProcessResult run = Acctmap({"-u", TheWineUser().name});
    EXPECT_EQ(run.err, TextMode(c.err(*this)));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1u);
    EXPECT_TRUE(AllNetapiBuffersFreed());
}

std::string ReadError(WineTest&) {
    return "read key value error\n";
}

INSTANTIATE_TEST_SUITE_P(
    Wine, RegistryRead,
    ::testing::Values(RegistryFailure{"NoMountKey", [](WineTest&) {},
                                      [](WineTest&) {
                                          return "Open Registry Error.\n" +
                                                 SystemText(ERROR_FILE_NOT_FOUND) + "\n";
                                      }},
                      RegistryFailure{"NoNativeValue",
                                      [](WineTest& t) { t.SetMountKeyWithoutValue(); }, ReadError},
                      RegistryFailure{"EmptyNativeValue",
                                      [](WineTest& t) { t.SetMountDirectory(""); }, ReadError},
                      RegistryFailure{
                          "NativeValueLongerThanTheBuffer",
                          [](WineTest& t) { t.SetMountDirectory("C:\\" + std::string(1100, 'h')); },
                          ReadError},
                      RegistryFailure{"ProfileKeyWithoutProfilePath",
                                      [](WineTest& t) {
                                          t.UseHomeMount();
                                          t.RemoveProfileImagePath();
                                      },
                                      ReadError},
                      RegistryFailure{"FallbackCannotBeCreated",
                                      [](WineTest& t) {
                                          t.SetMountDirectory(t.Path("missing\\home"));
                                          t.SetProfileImagePath(t.Path("missing\\profile"));
                                      },
                                      [](WineTest& t) {
                                          return "Can't create home directory " +
                                                 t.Path("missing\\home") + "\\tarnwick for user " +
                                                 TheWineUser().name + "\n";
                                      }}),
    [](const ::testing::TestParamInfo<RegistryFailure>& info) { return info.param.name; });

}  // namespace
