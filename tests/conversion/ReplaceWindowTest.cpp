#include "conversion/U_Replace.h"

#include "common/FakePrompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

TEST(ReplaceQuestion, TextQuotesTheNameAndDoublesItsQuotes) {
    EXPECT_EQ(ReplaceQuestionText("/out/a.flv"),
              "whether you want to replace existing file'a.flv'");
    EXPECT_EQ(ReplaceQuestionText("/out/it's.flv"),
              "whether you want to replace existing file'it''s.flv'");
}

TEST(ReplaceQuestion, FitsIntoTwoLines) {
    const struct {
        const char* text;
        int perLine;
        const char* expected;
    } cases[] = {
        {"abcdef", 10, "abcdef"},
        {"abcdefghij", 10, "abcdefghij"},
        {"abcdefghijKLM", 10, "abcdefghij\nKLM"},
        {"abcdefghijKLMNOPQRST", 10, "abcdefghij\nKLMNOPQRST"},
        {"abcdefghijKLMNOPQRSTu'", 10, "abcdefghij\nKLMNOPQ...'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitReplaceQuestion(c.text, c.perLine), c.expected) << c.text;
}

class ReplaceWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        QFile file(Existing());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QString Existing() const { return folder.filePath("a.flv"); }
    // Presses the window's control named `name` as soon as the window is up.
    static void PressWhenShown(const char* name) {
        QTimer::singleShot(0, [name] {
            if (auto* window = qobject_cast<TReplaceFrm*>(QApplication::activeModalWidget())) {
                if (auto* button = FindSkinControl(window, QLatin1String(name)))
                    static_cast<QAbstractButton*>(button)->click();
            }
        });
    }

    QTemporaryDir folder;
    TFakePrompts prompts;
};

TEST_F(ReplaceWindowTest, EveryButtonGivesItsAnswer) {
    const struct {
        const char* button;
        TReplaceAnswer answer;
    } cases[] = {
        {"btnYes", TReplaceAnswer::Yes},       {"btnYesAll", TReplaceAnswer::YesToAll},
        {"btnNo", TReplaceAnswer::No},         {"btnNotAll", TReplaceAnswer::NoToAll},
        {"btnCancel", TReplaceAnswer::Cancel}, {"btnclose", TReplaceAnswer::Cancel},
    };
    for (const auto& c : cases) {
        PressWhenShown(c.button);
        EXPECT_EQ(AskReplace(Existing()), c.answer) << c.button;
    }
    EXPECT_EQ(prompts.Calls.count("Beep"), 6);
}

TEST_F(ReplaceWindowTest, AMissingFileIsNotAsked) {
    EXPECT_EQ(AskReplace(folder.filePath("missing.flv")), TReplaceAnswer::None);
    EXPECT_TRUE(prompts.Calls.isEmpty());
}

TEST_F(ReplaceWindowTest, WindowShowsTheQuestionWithFocusOnYes) {
    const QString longName = folder.filePath(QString(150, 'x') + ".flv");
    TReplaceFrm window(longName);
    EXPECT_EQ(window.windowTitle(), "Information");
    EXPECT_EQ(window.Content()->size(), QSize(520, 180));
    const QStringList lines = window.lblFileName->text().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith("...'"));
    EXPECT_TRUE(lines[0].startsWith("whether you want to replace existing file'xxx"));

    bool yesFocused = false;
    QTimer::singleShot(0, &window, [&] {
        yesFocused = window.focusWidget() == window.btnYes;
        QTest::keyClick(window.focusWidget(), Qt::Key_Return); // Enter answers with it
    });
    window.exec();
    EXPECT_TRUE(yesFocused);
    EXPECT_EQ(window.Answer(), TReplaceAnswer::Yes);

    TReplaceFrm shortQuestion(Existing());
    EXPECT_EQ(shortQuestion.lblFileName->text(),
              "whether you want to replace existing file'a.flv'");
}
