// SPDX-License-Identifier: MIT
// RegisterService as a host meets it: the built module is loaded by name, and its calls land
// in the recording stand-in for the DNS-SD client library.
#include "../cases/register_cases.h"
#include "../stub/dnssd_stub.h"
#include "alloc_counter.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using RegisterFn = bool (*)(const char *, const char *, char *, int32_t);

RegisterFn LoadModule()
{
    void *module = dlopen("libQuivaneDll.so", RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        ADD_FAILURE() << "cannot load libQuivaneDll.so: " << dlerror();
        return nullptr;
    }
    auto fn = reinterpret_cast<RegisterFn>(dlsym(module, "RegisterService"));
    if (fn == nullptr) {
        ADD_FAILURE() << "RegisterService is not exported: " << dlerror();
    }
    return fn;
}

class RegisterServiceTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        StubReset();
        registerService = LoadModule();
        ASSERT_NE(registerService, nullptr);
    }

    // Registers with a writable copy of the domain and returns the stand-in's record of it.
    const StubCall &Register(const char *name, const char *regtype, const char *domain,
                             int32_t port, bool *accepted = nullptr)
    {
        domainBuffer.assign(domain, domain + std::strlen(domain) + 1);
        const unsigned before = StubCallCount();
        const bool result = registerService(name, regtype, domainBuffer.data(), port);
        if (accepted != nullptr) {
            *accepted = result;
        }
        EXPECT_EQ(StubCallCount(), before + 1) << "exactly one DNSServiceRegister per call";
        const StubCall *call = StubGetCall(StubCallCount() - 1);
        if (call == nullptr) {
            static const StubCall none{};
            ADD_FAILURE() << "the stand-in recorded no call";
            return none;
        }
        return *call;
    }

    RegisterFn registerService = nullptr;
    std::vector<char> domainBuffer;
};

TEST_F(RegisterServiceTest, PassesAllTwelveArgumentsAsTheInterfaceDefines)
{
    bool accepted = false;
    const StubCall &call = Register("Kitchen Printer", "_ipp._tcp", "local.", 631, &accepted);

    EXPECT_TRUE(accepted);
    EXPECT_NE(call.sdRef, nullptr);
    EXPECT_EQ(call.flags, 0U);
    EXPECT_EQ(call.interfaceIndex, 0U);
    EXPECT_FALSE(call.nameIsNull);
    EXPECT_STREQ(call.name, "Kitchen Printer");
    EXPECT_FALSE(call.regtypeIsNull);
    EXPECT_STREQ(call.regtype, "_ipp._tcp");
    EXPECT_EQ(call.domainPtr, domainBuffer.data()) << "the caller's buffer itself is passed";
    EXPECT_STREQ(call.domain, "local.");
    EXPECT_EQ(call.host, nullptr);
    EXPECT_EQ(call.portBytes[0], 0x02);
    EXPECT_EQ(call.portBytes[1], 0x77);
    EXPECT_EQ(call.txtLen, 0U);
    EXPECT_NE(call.txtRecord, nullptr);
    EXPECT_EQ(call.txtFirstByte, 0U);
    EXPECT_NE(call.callBack, nullptr);
    EXPECT_EQ(call.context, nullptr);
    EXPECT_EQ(*call.sdRef, call.storedRef) << "the new reference stays in the module's slot";
}

TEST_F(RegisterServiceTest, SendsTheLow16BitsOfThePortInNetworkOrder)
{
    for (const auto &c : quivane_cases::kPortCases) {
        SCOPED_TRACE(c.label);
        const StubCall &call = Register("svc", "_test._tcp", "", c.port);
        EXPECT_EQ(call.portBytes[0], c.first);
        EXPECT_EQ(call.portBytes[1], c.second);
        // Read as an integer on this CPU: a port left in host order fails here on one of
        // the two byte orders.
        EXPECT_EQ(call.port, htons(static_cast<uint16_t>(c.port & 0xFFFF)));
    }
}

TEST_F(RegisterServiceTest, RewritesOnlyADotDomainInTheCallersBuffer)
{
    for (const auto &c : quivane_cases::kDomainCases) {
        SCOPED_TRACE(c.label);
        const StubCall &call = Register("svc", "_test._tcp", c.given, 80);
        EXPECT_STREQ(call.domain, c.passed);
        EXPECT_EQ(call.domainPtr, domainBuffer.data());
        EXPECT_STREQ(domainBuffer.data(), c.passed);
        // Everything after the text is untouched: only the first byte may change.
        EXPECT_EQ(0, std::memcmp(domainBuffer.data() + 1, c.given + 1, std::strlen(c.given)));
    }
}

TEST_F(RegisterServiceTest, RewritesADotDomainEvenWhenTheRegistrationFails)
{
    StubSetResult(-65537);
    char domain[] = {'.', '\0', 'Z', '\0'};
    EXPECT_FALSE(registerService("svc", "_test._tcp", domain, 80));
    ASSERT_EQ(StubCallCount(), 1U);
    EXPECT_STREQ(StubGetCall(0)->domain, "");
    EXPECT_EQ(domain[0], '\0');
    EXPECT_EQ(domain[2], 'Z') << "bytes past the terminator are not the library's";
}

TEST_F(RegisterServiceTest, PassesNamesAndTypesOnUntouched)
{
    const StubCall &dotName = Register(".", "_test._tcp", "local.", 80);
    EXPECT_STREQ(dotName.name, ".");
    EXPECT_FALSE(dotName.nameIsNull);

    const StubCall &emptyName = Register("", "_test._tcp", "", 80);
    EXPECT_FALSE(emptyName.nameIsNull);
    EXPECT_STREQ(emptyName.name, "");

    const StubCall &utf8 = Register("Caf\xC3\xA9 du Nord", "_http._tcp,_printer", "", 80);
    EXPECT_STREQ(utf8.name, "Caf\xC3\xA9 du Nord");
    EXPECT_STREQ(utf8.regtype, "_http._tcp,_printer");

    const StubCall &nulls = Register(nullptr, nullptr, "", 80);
    EXPECT_TRUE(nulls.nameIsNull);
    EXPECT_TRUE(nulls.regtypeIsNull);
}

// Each case in turn as the name, the type and the domain, with ordinary text in the others.
TEST_F(RegisterServiceTest, PassesWellFormedUtf8OnByteForByteAndRefusesTheRest)
{
    for (const auto &c : quivane_cases::kUtf8Cases) {
        for (int slot = 0; slot < quivane_cases::kUtf8Slots; ++slot) {
            const auto [where, name, regtype, domain] = quivane_cases::PlaceUtf8Case(c, slot);
            SCOPED_TRACE(std::string(c.label) + " as the " + where);
            StubReset();
            std::vector<char> buffer(domain, domain + std::strlen(domain) + 1);

            EXPECT_EQ(registerService(name, regtype, buffer.data(), 80), c.wellFormed);
            EXPECT_STREQ(buffer.data(), domain) << "the caller's buffer is not touched";
            if (!c.wellFormed) {
                EXPECT_EQ(StubCallCount(), 0U) << "malformed text reached the client library";
                continue;
            }
            ASSERT_EQ(StubCallCount(), 1U);
            const StubCall *call = StubGetCall(0);
            EXPECT_STREQ(call->name, name);
            EXPECT_STREQ(call->regtype, regtype);
            EXPECT_STREQ(call->domain, domain);
            EXPECT_EQ(call->domainPtr, buffer.data());
        }
    }
}

TEST_F(RegisterServiceTest, ARefusedMalformedNameStillLeavesADotDomainEmpty)
{
    char domain[] = {'.', '\0', 'Z', '\0'};
    EXPECT_FALSE(registerService("\xFF\xFE", "_test._tcp", domain, 80));
    EXPECT_EQ(StubCallCount(), 0U);
    EXPECT_EQ(domain[0], '\0');
    EXPECT_EQ(domain[2], 'Z');

    // Null strings are still passed on as null: there is nothing to check in them.
    EXPECT_TRUE(registerService(nullptr, nullptr, nullptr, 80));
    ASSERT_EQ(StubCallCount(), 1U);
    EXPECT_TRUE(StubGetCall(0)->nameIsNull);
}

TEST_F(RegisterServiceTest, AnswersTrueOnlyForNoError)
{
    for (const auto &c : quivane_cases::kResultCases) {
        SCOPED_TRACE(c.code);
        StubSetResult(c.code);
        bool accepted = !c.accepted;
        Register("svc", "_test._tcp", "", 80, &accepted);
        EXPECT_EQ(accepted, c.accepted);
    }
}

TEST_F(RegisterServiceTest, PassesANullDomainOnAsTheDefaultDomain)
{
    EXPECT_TRUE(registerService("svc", "_test._tcp", nullptr, 80));
    ASSERT_EQ(StubCallCount(), 1U);
    EXPECT_EQ(StubGetCall(0)->domainPtr, nullptr);

    StubSetResult(-65540);
    EXPECT_FALSE(registerService("svc", "_test._tcp", nullptr, 80));
}

TEST_F(RegisterServiceTest, EveryCallOverwritesTheOneSlotAndNothingIsReleased)
{
    const StubCall first = Register("one", "_test._tcp", "", 80);
    const StubCall second = Register("two", "_test._tcp", "", 81);

    EXPECT_EQ(first.sdRef, second.sdRef) << "both calls share one module-wide slot";
    EXPECT_NE(first.storedRef, second.storedRef);
    EXPECT_EQ(second.previousSlot, first.storedRef) << "the first reference was still there";
    EXPECT_EQ(*second.sdRef, second.storedRef);
    EXPECT_EQ(StubDeallocateCount(), 0U);

    // A refused call leaves the slot as the client library left it.
    StubSetResult(-65537);
    const StubCall refused = Register("three", "_test._tcp", "", 82);
    EXPECT_EQ(*refused.sdRef, second.storedRef);
    EXPECT_EQ(StubDeallocateCount(), 0U);
}

TEST_F(RegisterServiceTest, TheSlotIsEmptyWhenTheModuleIsFirstLoaded)
{
    // A copy of the built module loads as an instance of its own, with its own static state,
    // so its first call shows what the slot held at load. No second process is needed, which
    // keeps this test runnable under an emulator too.
    void *address = nullptr;
    std::memcpy(&address, &registerService, sizeof address);
    Dl_info info{};
    ASSERT_NE(dladdr(address, &info), 0);
    const std::string copy =
        ::testing::TempDir() + "quivane-fresh-" + std::to_string(getpid()) + ".so";
    {
        std::ifstream in(info.dli_fname, std::ios::binary);
        std::ofstream out(copy, std::ios::binary);
        out << in.rdbuf();
    }
    void *fresh = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::remove(copy.c_str());
    ASSERT_NE(fresh, nullptr) << dlerror();
    RegisterFn freshRegister = nullptr;
    void *symbol = dlsym(fresh, "RegisterService");
    ASSERT_NE(symbol, nullptr);
    std::memcpy(&freshRegister, &symbol, sizeof freshRegister);
    ASSERT_NE(freshRegister, registerService) << "the copy did not load as a module of its own";

    const StubCall first = Register("in use", "_test._tcp", "", 80);
    char domain[] = "";
    EXPECT_TRUE(freshRegister("fresh", "_test._tcp", domain, 80));
    ASSERT_EQ(StubCallCount(), 2U);
    const StubCall *fromFresh = StubGetCall(1);
    EXPECT_EQ(fromFresh->previousSlot, nullptr) << "the slot was not null at load";
    EXPECT_NE(fromFresh->sdRef, first.sdRef) << "each loaded module has a slot of its own";
}

TEST_F(RegisterServiceTest, TheReplyCallbackIsHarmlessWhateverItIsHanded)
{
    const StubCall &call = Register("svc", "_test._tcp", "", 80);
    ASSERT_NE(call.callBack, nullptr);
    char text[] = "junk";
    const auto garbage = reinterpret_cast<DNSServiceRef>(uintptr_t{0x1});
    call.callBack(nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr);
    call.callBack(garbage, 0xFFFFFFFFU, -65537, text, text, text, text);
    call.callBack(call.storedRef, 2, 0, "svc", "_test._tcp.", "local.", garbage);
    EXPECT_EQ(StubCallCount(), 1U) << "the callback starts nothing of its own";
    EXPECT_STREQ(text, "junk");
}

TEST_F(RegisterServiceTest, SerialisesCallsFromManyThreads)
{
    constexpr int kThreads = 8;
    constexpr int kCallsEach = 6;
    // Every call lingers in the client library, and all threads are released together, so
    // that without serialisation calls overlap on every run.
    StubSetDelayMicros(2000);
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    std::vector<int> accepted(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) {
                std::this_thread::yield();
            }
            for (int i = 0; i < kCallsEach; ++i) {
                char domain[] = ".";
                accepted[static_cast<size_t>(t)] +=
                    registerService("svc", "_test._tcp", domain, 1000 + t) ? 1 : 0;
            }
        });
    }
    for (auto &thread : threads) {
        thread.join();
    }
    EXPECT_EQ(StubCallCount(), unsigned{kThreads * kCallsEach});
    EXPECT_EQ(StubMaxInFlight(), 1U) << "two calls were inside the client library at once";
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(accepted[static_cast<size_t>(t)], kCallsEach);
    }
}

TEST_F(RegisterServiceTest, MakesNoHeapAllocationDuringACall)
{
    // The counter must see an allocation, or a zero below would prove nothing.
    void *(*volatile allocate)(size_t) = std::malloc; // not optimised away
    alloc_counter::Start();
    void *probe = allocate(16);
    const unsigned long seen = alloc_counter::Stop();
    std::free(probe);
    ASSERT_EQ(seen, 1UL);

    char dot[] = ".";
    char local[] = "local.";
    // Where Avahi's client library is installed, it asks for avahi-daemon at most once a
    // second, and libdbus allocates when it does: let a second pass, so that the warm-up call
    // below is the one that asks and the calls counted come well inside the next second.
    if (dlopen("libavahi-client.so.3", RTLD_NOW | RTLD_NOLOAD) != nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
    // The first call binds the client library, and the system loader allocates for that; from
    // the second call on nothing is allocated.
    registerService("warm", "_test._tcp", local, 80);
    alloc_counter::Start();
    registerService("svc", "_test._tcp", dot, 80);
    registerService(nullptr, nullptr, nullptr, -1);
    StubSetResult(-65537);
    registerService("svc", "_test._tcp", local, 65536);
    registerService("K\xC3\xBC"
                    "che \xE2\x98\x95",
                    "_test._tcp", local, 80);
    registerService("\xE2\x82", "_test._tcp", local, 80); // refused before the call
    const unsigned long during = alloc_counter::Stop();
    EXPECT_EQ(during, 0UL);
    EXPECT_EQ(StubCallCount(), 5U);
}

} // namespace
