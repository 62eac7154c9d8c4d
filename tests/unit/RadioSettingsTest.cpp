// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/JsonRead.h"
#include "core/JsonWriter.h"
#include "core/MeshtasticRadioSettings.h"

namespace corvane {
namespace {

std::optional<MeshtasticRadioSettings> decode(std::string_view text) {
    return json::parseDocument(text, [](const json::Element& root) { return decodeMeshtasticRadioSettings(root); });
}

std::string encode(const MeshtasticRadioSettings& settings) {
    JsonWriter writer;
    encodeJson(writer, settings);
    EXPECT_FALSE(writer.failed());
    return writer.take();
}

constexpr std::string_view kRecommended =
    R"({"channelNum":0,"hopLimit":3,"modemPreset":"longFast","overrideDutyCycle":false,"overrideFrequency":0,)"
    R"("region":"eu868","rxBoostedGain":true,"txEnabled":true,"txPower":0,"usePreset":true})";

TEST(RadioSettings, RecommendedSetupEncodesAllTenKeys) {
    EXPECT_EQ(encode(MeshtasticRadioSettings::recommended()), kRecommended);
    EXPECT_EQ(decode(kRecommended), MeshtasticRadioSettings::recommended());
}

TEST(RadioSettings, EveryKeyIsRequiredAndEnumsAreClosed) {
    std::string text(kRecommended);
    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string copy = text;
        copy.replace(copy.find(from), from.size(), to);
        return copy;
    };
    EXPECT_FALSE(decode(replaced(R"(,"overrideFrequency":0)", "")));
    EXPECT_FALSE(decode(replaced(R"("eu868")", R"("us915")")));
    EXPECT_FALSE(decode(replaced(R"("longFast")", R"("LongFast")")));
    EXPECT_FALSE(decode(replaced(R"("txPower":0)", R"("txPower":2147483648)")));
    EXPECT_FALSE(decode(replaced(R"("hopLimit":3)", R"("hopLimit":-3)")));
    const auto negativePower = decode(replaced(R"("txPower":0)", R"("txPower":-5)"));
    ASSERT_TRUE(negativePower);
    EXPECT_EQ(negativePower->txPower, -5);
}

TEST(RadioSettings, FrequencyRoundTripsAndNonFiniteFails) {
    auto b = MeshtasticRadioSettings::recommended();
    b.overrideFrequency = 869.525f;
    EXPECT_EQ(decode(encode(b)), b);
    b.overrideFrequency = std::numeric_limits<float>::quiet_NaN();
    JsonWriter writer;
    encodeJson(writer, b);
    EXPECT_TRUE(writer.failed());
}

}  // namespace
}  // namespace corvane
