#include "platform/automation.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com.h"

namespace {

class Recorder : public Dispatch {
public:
    bool putProperty(std::string_view name, const Variant& value) override {
        if (name != "Value") return false;
        stored = value;
        return true;
    }
    bool getProperty(std::string_view name, const VariantArgs&, Variant& result) override {
        if (name != "Value") return false;
        result = stored;
        return true;
    }
    bool callMethod(std::string_view, const VariantArgs& args, Variant& result) override {
        result = static_cast<int>(args.size());
        return true;
    }
    Variant stored;
};

TEST(Variant, ConvertsToTheAskedKindOrItsEmptyValue) {
    EXPECT_EQ(Variant(1234567.0).toText(), "1234567");
    EXPECT_EQ(Variant(0.1).toText(), "0.1");
    EXPECT_EQ(Variant(true).toText(), "-1");
    EXPECT_EQ(Variant(false).toText(), "0");
    EXPECT_EQ(Variant("12.5").toNumber(), 12.5);
    EXPECT_EQ(Variant("12x").toNumber(), 0);
    EXPECT_TRUE(Variant("True").toBoolean());
    EXPECT_TRUE(Variant("-1").toBoolean());
    EXPECT_FALSE(Variant("no").toBoolean());
    EXPECT_EQ(Variant(Bytes{1, 2}).toText(), "");
    EXPECT_EQ(Variant("ab").toBytes(), Bytes{});
    EXPECT_TRUE(Variant().toObject().isEmpty());
}

TEST(AutomationObject, UnknownProgIdFailsAndChangesNothing) {
    AutomationObject object;
    EXPECT_FALSE(object.create("No.Such.Object"));
    EXPECT_TRUE(object.isEmpty());
    EXPECT_TRUE(object.readProperty("Value").isEmpty());
    EXPECT_FALSE(object.writeProperty("Value", 1));
}

TEST(AutomationObject, CopiesShareTheObjectAndOtherThreadsCannotUseIt) {
    setAutomationFactory("Test.Recorder", [] { return std::make_shared<Recorder>(); });
    AutomationObject object;
    ASSERT_TRUE(object.create("test.RECORDER"));
    AutomationObject second = object.copy();
    EXPECT_TRUE(second.writeProperty("Value", "x"));
    object.release();
    EXPECT_EQ(second.readProperty("Value").toText(), "x");
    EXPECT_EQ(second.callMethod("Any", {1, "a"}).toNumber(), 2);
    EXPECT_TRUE(second.readProperty("Missing").isEmpty());

    Variant fromOtherThread = "unset";
    std::thread([&] { fromOtherThread = second.readProperty("Value"); }).join();
    EXPECT_TRUE(fromOtherThread.isEmpty());
    setAutomationFactory("Test.Recorder", nullptr);
    EXPECT_FALSE(AutomationObject().create("Test.Recorder"));
}

TEST(CoInitialize, CountsPerThread) {
    int before = comInitializationDepth();
    EXPECT_EQ(CoInitialize(nullptr), before == 0 ? S_OK : S_FALSE);
    CoInitialize(nullptr);
    std::thread([] { EXPECT_EQ(comInitializationDepth(), 0); }).join();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(comInitializationDepth(), before);
}

}  // namespace
