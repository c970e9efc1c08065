// The window ./scripts/start opens: the demo settings folder that scripts/prepare-demo lays out
// points the first "Transcode Now!" at the stand-in's real engine and the demo tone.
#include "standin/standin_test_support.h"
#include "support/temp_dir.h"
#include "test_form1_support.h"
#include "ui/form1.h"
#include "ui/form1_fields.h"
#include "ui/text_area.h"
#include "ui/window_settings.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

namespace kqc {
namespace {

TEST(QuickStart, FirstClickTranscodesTheDemoToneThroughTheStandin) {
    test::RunningStandin standin(test::FfmpegOptions());
    const test::TempDir build;
    const std::string prepare = std::string("'") + KQC_PREPARE_DEMO + "' '" +
                                build.path().string() + "' " +
                                std::to_string(standin.service().port());
    ASSERT_EQ(std::system(prepare.c_str()), 0);

    const QByteArray ownSettings = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", (build.path() / "demo-settings").c_str());
    Form1 form;
    form.rememberSettingsIn(WindowSettingsPath());
    qputenv("XDG_CONFIG_HOME", ownSettings);
    const RunValues values = form.fields().runValues();
    EXPECT_EQ(values.endpoint, standin.service().endpointUrl());
    EXPECT_FALSE(values.urlMode);
    EXPECT_EQ(values.sourceDir, (build.path() / "demo").string());

    test::SeenBox notice;
    test::closeNextMessageBox(notice);
    QTest::mouseClick(form.controls().cmdTranscode, Qt::LeftButton);
    ASSERT_TRUE(notice.seen);
    const auto result = build.path() / "demo-output" / "demo-tone.mp4";
    EXPECT_NE(form.controls().txtOutputLog->text().find("Saved transcoded file as " +
                                                         result.string()),
              std::string::npos)
        << form.controls().txtOutputLog->text();
    EXPECT_EQ(test::ProbeAudio(result), "aac,22050,1");
}

}  // namespace
}  // namespace kqc
