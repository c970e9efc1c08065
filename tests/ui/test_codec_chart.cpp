// The chart of allowed combinations as compiled into the program: size, greys, the rule under the
// header and where the columns and row groups stand, all measured from the pixels.
#include "resources/codec_chart.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <set>
#include <vector>

namespace {

constexpr int kWidth = 690;
constexpr int kHeight = 779;
constexpr int kRuleTop = 38;
constexpr int kRuleBottom = 39;
const std::vector<int> kColumns = {10, 133, 220, 308, 389, 625};
const std::vector<int> kRowGroups = {47, 98, 149, 216, 251, 369, 513, 564, 663, 729};
constexpr int kHeaderTop = 7;

bool isInk(const QImage& chart, int x, int y) {
    return qGray(chart.pixel(x, y)) < 255;
}

bool isRuleRow(int y) {
    return y == kRuleTop || y == kRuleBottom;
}

// First pixel column in [from, to) holding any ink outside the rule, or -1.
int firstInkColumn(const QImage& chart, int from, int to) {
    for (int x = from; x < to; ++x)
        for (int y = 0; y < chart.height(); ++y)
            if (!isRuleRow(y) && isInk(chart, x, y)) return x;
    return -1;
}

// First pixel row in [from, to) holding any ink, or -1.
int firstInkRow(const QImage& chart, int from, int to) {
    for (int y = from; y < to; ++y)
        for (int x = 0; x < chart.width(); ++x)
            if (isInk(chart, x, y)) return y;
    return -1;
}

class CodecChart : public ::testing::Test {
protected:
    void SetUp() override {
        m_chart = kqc::codecChart();
        ASSERT_FALSE(m_chart.isNull()) << "the chart resource is not compiled in";
        ASSERT_EQ(m_chart.size(), QSize(kWidth, kHeight));
    }
    QImage m_chart;
};

TEST_F(CodecChart, IsEightBitGreyWithAtMost32GreysFromBlackTextOnWhite) {
    EXPECT_EQ(m_chart.format(), QImage::Format_Grayscale8);
    std::set<int> greys;
    std::size_t white = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int grey = qGray(m_chart.pixel(x, y));
            greys.insert(grey);
            white += grey == 255;
        }
    }
    EXPECT_LE(greys.size(), 32u);
    EXPECT_TRUE(greys.count(0)) << "no black";
    // Anti-aliased edges: greys between black and white.
    EXPECT_GE(greys.size(), 8u);
    EXPECT_GT(white, std::size_t(kWidth) * kHeight * 8 / 10) << "the ground is not white";
}

TEST_F(CodecChart, HasTwoPixelRuleUnderHeaderOnly) {
    for (int y : {kRuleTop, kRuleBottom}) {
        for (int x = 0; x < kWidth; ++x) {
            const bool onRule = x >= 4 && x <= 686;
            EXPECT_EQ(qGray(m_chart.pixel(x, y)), onRule ? 0 : 255) << "x " << x << ", y " << y;
        }
    }
    // Blank just above and below: the rule is exactly two pixels thick.
    for (int y : {kRuleTop - 1, kRuleBottom + 1})
        for (int x = 4; x <= 686; ++x)
            EXPECT_FALSE(isInk(m_chart, x, y)) << "x " << x << ", y " << y;
    // No other rule: no other row is black over most of the width.
    for (int y = 0; y < kHeight; ++y) {
        if (isRuleRow(y)) continue;
        int black = 0;
        for (int x = 0; x < kWidth; ++x) black += qGray(m_chart.pixel(x, y)) == 0;
        EXPECT_LT(black, kWidth / 2) << "y " << y;
    }
}

TEST_F(CodecChart, ColumnsStartAtTheirLeftEdges) {
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        // Search from a little left of the column to a little left of the next one.
        const int from = kColumns[i] - 3;
        const int to = i + 1 < kColumns.size() ? kColumns[i + 1] - 3 : kWidth;
        const int found = firstInkColumn(m_chart, from, to);
        EXPECT_NEAR(found, kColumns[i], 1) << "column " << i + 1;
    }
    EXPECT_EQ(firstInkColumn(m_chart, 0, kColumns[0] - 3), -1) << "ink left of the first column";
}

TEST_F(CodecChart, HeaderAndRowGroupsStartAtTheirTops) {
    EXPECT_NEAR(firstInkRow(m_chart, 0, kRuleTop), kHeaderTop, 1) << "header";
    for (std::size_t i = 0; i < kRowGroups.size(); ++i) {
        const int from = i == 0 ? kRuleBottom + 1 : kRowGroups[i] - 3;
        const int to = i + 1 < kRowGroups.size() ? kRowGroups[i + 1] - 3 : kHeight;
        EXPECT_NEAR(firstInkRow(m_chart, from, to), kRowGroups[i], 1) << "row group " << i + 1;
    }
}

// The stored chart is what the generator draws from its table today. The generator is looked up
// where the build puts it; the test is skipped when it has not been built.
TEST_F(CodecChart, MatchesGeneratorOutput) {
    const QString generator =
        QCoreApplication::applicationDirPath() + "/../../tools/chart-generator/chart-generator";
    if (!QFile::exists(generator)) GTEST_SKIP() << "chart-generator not built";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString output = dir.filePath("chart.png");
    QProcess process;
    process.start(generator, {output});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QFile regenerated(output);
    QFile stored(":/codec_chart.png");
    ASSERT_TRUE(regenerated.open(QIODevice::ReadOnly));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_TRUE(regenerated.readAll() == stored.readAll())
        << "resources/codec_chart.png is stale: rebuild the codec_chart target";
}

}  // namespace
