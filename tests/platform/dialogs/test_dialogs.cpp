// Dialog plumbing with real widgets on the offscreen platform: the message boxes as the user sees
// them (answered by a timer, as a user would), the exception display and the guard at the edge
// of event handlers, the shell opening and the folder picker.

#include "ExceptionDisplay.h"
#include "FolderPicker.h"
#include "KivraApplication.h"
#include "MessageBoxDialog.h"
#include "MessageBoxHook.h"
#include "MessageBoxRecorder.h"
#include "ShellOpen.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace kivra;

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_dialogs";
        static char *argv[] = {name, nullptr};
        App = new KivraApplication(argc, argv);
        QGuiApplication::setApplicationDisplayName("Kivrawatch");
    }
    void TearDown() override { delete App; }

private:
    KivraApplication *App = nullptr;
};

const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

// Runs act on the next modal dialog of type T once it is shown (as a user would answer it).
// Gives up after about five seconds, closing whatever modal window is up, so a test never hangs.
template <typename T> void WhenShown(std::function<void(T *)> act) {
    auto *timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        } else if (++*ticks > 1000) {
            timer->stop();
            timer->deleteLater();
            if (QWidget *w = QApplication::activeModalWidget()) w->close();
            ADD_FAILURE() << "no dialog of the expected kind was shown";
        }
    });
    timer->start();
}

// What a message box showed, read while it was up.
struct SeenBox {
    bool shown = false;
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget *parent = nullptr;
};

constexpr int kEscape = -1;

// Shows through the application's message-box function; answers by pressing `press`
// (a standard button, or kEscape for the Escape key).
int ShowAndAnswer(const std::string &text, const std::string &caption, unsigned flags, int press,
                  SeenBox &seen) {
    WhenShown<QMessageBox>([&seen, press](QMessageBox *box) {
        seen.shown = true;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.buttons = box->standardButtons();
        seen.icon = box->icon();
        seen.format = box->textFormat();
        seen.parent = box->parentWidget();
        if (QPushButton *def = box->defaultButton()) {
            seen.defaultButton = box->standardButton(def);
        }
        if (press == kEscape) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else if (QAbstractButton *b =
                       box->button(static_cast<QMessageBox::StandardButton>(press))) {
            b->click();
        } else {
            ADD_FAILURE() << "the box has no such button";
            box->reject();
        }
    });
    return ApplicationMessageBox(text, caption, flags);
}

class MessageBoxDialogTest : public ::testing::Test {
protected:
    void SetUp() override { InstallMessageBoxDialog(); }
    void TearDown() override { SetMessageBoxHandler({}); }
};

struct BoxCase {
    const char *name;
    std::string text;
    std::string caption;
    unsigned flags;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    int press;
    int result;
};

void PrintTo(const BoxCase &c, std::ostream *os) { *os << c.name; }

class MessageBoxCaseTest : public MessageBoxDialogTest,
                           public ::testing::WithParamInterface<BoxCase> {};

TEST_P(MessageBoxCaseTest, ShowsTextsButtonsAndIconAndReturnsTheAnswer) {
    const BoxCase &c = GetParam();
    SeenBox seen;
    const int result = ShowAndAnswer(c.text, c.caption, c.flags, c.press, seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text.toStdString(), c.text);
    EXPECT_EQ(seen.title.toStdString(), c.caption);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.defaultButton, (c.flags & 0xF) == MB_YESNO ? QMessageBox::Yes : QMessageBox::Ok);
    EXPECT_EQ(result, c.result);
}

const auto kOk = QMessageBox::StandardButtons(QMessageBox::Ok);
const auto kOkCancel = QMessageBox::Ok | QMessageBox::Cancel;
const auto kYesNo = QMessageBox::Yes | QMessageBox::No;
const std::string kKill = "Do you really want to kill process 57?";

INSTANTIATE_TEST_SUITE_P(
    Flags, MessageBoxCaseTest,
    ::testing::Values(
        BoxCase{"FullTableOk", "The connection queue is full for this session", "Connections Full",
                MB_OK, kOk, QMessageBox::NoIcon, QMessageBox::Ok, IDOK},
        BoxCase{"OkBoxEscape", "Floating point division by zero", "Error", MB_OK, kOk,
                QMessageBox::NoIcon, kEscape, IDOK},
        BoxCase{"KillYes", kKill, "Kill Process Confirm", MB_YESNO | MB_ICONQUESTION, kYesNo,
                QMessageBox::Question, QMessageBox::Yes, IDYES},
        BoxCase{"KillNo", kKill, "Kill Process Confirm", MB_YESNO | MB_ICONQUESTION, kYesNo,
                QMessageBox::Question, QMessageBox::No, IDNO},
        BoxCase{"KillEscapeIsNo", kKill, "Kill Process Confirm", MB_YESNO | MB_ICONQUESTION, kYesNo,
                QMessageBox::Question, kEscape, IDNO},
        BoxCase{"ErrorIcon", "Login failed for user 'sa'.", "Microsoft OLE DB Provider",
                MB_OK | MB_ICONERROR, kOk, QMessageBox::Critical, QMessageBox::Ok, IDOK},
        BoxCase{"WarningOkCancelCancel", "Discard?", "Warning", MB_OKCANCEL | MB_ICONWARNING,
                kOkCancel, QMessageBox::Warning, QMessageBox::Cancel, IDCANCEL},
        BoxCase{"OkCancelOk", "Discard?", "Warning", MB_OKCANCEL, kOkCancel, QMessageBox::NoIcon,
                QMessageBox::Ok, IDOK},
        BoxCase{"OkCancelEscapeIsCancel", "Discard?", "Warning", MB_OKCANCEL, kOkCancel,
                QMessageBox::NoIcon, kEscape, IDCANCEL},
        BoxCase{"Information", "Done", "Kivrawatch", MB_OK | MB_ICONINFORMATION, kOk,
                QMessageBox::Information, QMessageBox::Ok, IDOK},
        BoxCase{"MarkupIsShownAsText", "<b>Server</b> said: <i>no</i> & left", "Socket Error",
                MB_OK, kOk, QMessageBox::NoIcon, QMessageBox::Ok, IDOK},
        BoxCase{"UnknownButtonCodeShowsOk", "Three?", "Odd", 0x3, kOk, QMessageBox::NoIcon,
                QMessageBox::Ok, IDOK}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MessageBoxDialogTest, BoxSitsOverTheActiveWindow) {
    QWidget window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    SeenBox seen;
    ShowAndAnswer("The connection queue is full for this session", "Connections Full", MB_OK,
                  QMessageBox::Ok, seen);
    EXPECT_EQ(seen.parent, &window);
}

TEST_F(MessageBoxDialogTest, CallFromAnotherThreadShowsOnTheApplicationThread) {
    std::atomic<int> result{0};
    std::atomic<bool> boxOnMainThread{false};
    QEventLoop loop;
    WhenShown<QMessageBox>([&](QMessageBox *box) {
        boxOnMainThread = box->thread() == QCoreApplication::instance()->thread() &&
                          QThread::currentThread() == QCoreApplication::instance()->thread();
        box->button(QMessageBox::Yes)->click();
    });
    std::thread worker([&] {
        result = ApplicationMessageBox(kKill, "Kill Process Confirm", MB_YESNO | MB_ICONQUESTION);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    EXPECT_EQ(result.load(), IDYES);
    EXPECT_TRUE(boxOnMainThread.load());
}

// ---- the exception display ----

class ExceptionDisplayTest : public ::testing::Test {
protected:
    void ExpectOneErrorBox(const std::string &text) {
        ASSERT_EQ(Shown.Boxes.size(), 1u);
        EXPECT_EQ(Shown.Boxes[0].Text, text);
        EXPECT_EQ(Shown.Boxes[0].Caption, "Kivrawatch");
        EXPECT_EQ(Shown.Boxes[0].Flags, static_cast<unsigned>(MB_OK | MB_ICONERROR));
    }

    MessageBoxRecorder Shown;  // answers OK
};

TEST_F(ExceptionDisplayTest, RunGuardedShowsWhatWasThrown) {
    struct Case {
        const char *name;
        std::function<void()> action;
        bool boxShown;
        std::string text;
    };
    const std::vector<Case> cases{
        {"std exception", [] { throw std::runtime_error("Floating point division by zero"); }, true,
         "Floating point division by zero"},
        {"derived std exception",
         [] { throw std::invalid_argument("'  ' is not a valid integer value"); }, true,
         "'  ' is not a valid integer value"},
        {"empty message", [] { throw std::runtime_error(""); }, true, ""},
        {"not an exception", [] { throw 42; }, true, ""},
        {"a string", [] { throw std::string("text"); }, true, ""},
        {"nothing thrown", [] {}, false, ""},
    };
    for (const Case &c : cases) {
        Shown.Boxes.clear();
        const bool ended = RunGuarded(c.action);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ended, !c.boxShown);
        if (c.boxShown) {
            ExpectOneErrorBox(c.text);
        } else {
            EXPECT_TRUE(Shown.Boxes.empty());
        }
    }
}

TEST_F(ExceptionDisplayTest, NullErrorShowsNothing) {
    ShowException(nullptr);
    EXPECT_TRUE(Shown.Boxes.empty());
    EXPECT_EQ(ExceptionMessage(nullptr), "");
}

// An object whose handling of user events throws what it was given, inside the guard that
// every handler of the program runs its body in.
class Thrower : public QObject {
public:
    std::function<void()> toThrow;
    int handled = 0;

protected:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::User) {
            RunGuarded([this] {
                ++handled;
                if (toThrow) toThrow();
            });
            return true;
        }
        return QObject::event(e);
    }
};

TEST_F(ExceptionDisplayTest, SentEventWhoseHandlerThrowsShowsTheDisplay) {
    Thrower target;
    target.toThrow = [] { throw std::runtime_error("Invalid floating point operation"); };
    QEvent event(QEvent::User);
    EXPECT_TRUE(QCoreApplication::sendEvent(&target, &event)) << "the guard returned normally";
    ExpectOneErrorBox("Invalid floating point operation");
}

TEST_F(ExceptionDisplayTest, EventLoopGoesOnAfterAPostedEventsHandlerThrew) {
    Thrower target;
    target.toThrow = [] { throw 7; };
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(target.handled, 2);
    ASSERT_EQ(Shown.Boxes.size(), 2u);
    EXPECT_EQ(Shown.Boxes[0].Text, "");
}

// A click handler runs its body in the guard: what it throws is shown, the button and the
// window go on, and nothing passes through Qt's delivery of the click (which leaked the
// event's data when it did).
TEST_F(ExceptionDisplayTest, ClickHandlerThatThrowsShowsTheDisplayAndTheWindowStays) {
    QWidget window;
    auto *button = new QPushButton("OK", &window);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] {
        RunGuarded([&clicks] {
            ++clicks;
            throw std::invalid_argument("'1x' is not a valid integer value");
        });
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(Shown.Boxes.size(), 2u);
    EXPECT_EQ(Shown.Boxes[1].Text, "'1x' is not a valid integer value");
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(button->isDown()) << "the button finished its click";
}

// The adaptor for connects and callbacks: the wrapped handler gets what the signal or callback
// passes (out-parameters by reference, values moved), a throw is shown and the caller goes on.
TEST_F(ExceptionDisplayTest, GuardedHandlersTakeTheirArgumentsAndShowWhatTheyThrow) {
    std::vector<int> got;
    const std::function<void(int, bool &, std::unique_ptr<int>)> callback =
        Guarded([&got](int col, bool &canSelect, std::unique_ptr<int> row) {
            got = {col, *row};
            canSelect = false;
            if (col < 0) throw std::runtime_error("'-1' is not a valid column");
        });
    bool canSelect = true;
    callback(3, canSelect, std::make_unique<int>(7));
    EXPECT_EQ(got, (std::vector<int>{3, 7}));
    EXPECT_FALSE(canSelect) << "the out-parameter is the caller's";
    EXPECT_TRUE(Shown.Boxes.empty());
    canSelect = true;
    callback(-1, canSelect, std::make_unique<int>(8));
    ExpectOneErrorBox("'-1' is not a valid column");
    EXPECT_FALSE(canSelect);

    // Through Qt: a signal with arguments, a handler that takes fewer, a std::function.
    Shown.Boxes.clear();
    QWidget window;
    auto *button = new QPushButton("OK", &window);
    button->setCheckable(true);
    int clicks = 0;
    std::vector<bool> checks;
    QObject::connect(button, &QPushButton::clicked, Guarded([&clicks] {
                         ++clicks;
                         throw 1;
                     }));
    QObject::connect(
        button, &QPushButton::toggled,
        Guarded(std::function<void(bool)>([&checks](bool on) { checks.push_back(on); })));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(checks, (std::vector<bool>{true, false}));
    ASSERT_EQ(Shown.Boxes.size(), 2u);
    EXPECT_EQ(Shown.Boxes[0].Text, "");

    // A queued call and a timer's: shown when they run, and the loop goes on to the next one.
    Shown.Boxes.clear();
    int ran = 0;
    QMetaObject::invokeMethod(&window, Guarded([] { throw std::runtime_error("queued"); }),
                              Qt::QueuedConnection);
    QTimer::singleShot(0, &window, Guarded([] { throw std::runtime_error("timer"); }));
    QMetaObject::invokeMethod(&window, Guarded([&ran] { ++ran; }), Qt::QueuedConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran == 1 && Shown.Boxes.size() == 2; }, 10000));
    std::vector<std::string> texts{Shown.Boxes[0].Text, Shown.Boxes[1].Text};
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"queued", "timer"}));
}

TEST_F(ExceptionDisplayTest, RealBoxShowsTheMessageWithTheErrorIcon) {
    SetMessageBoxHandler({});
    InstallMessageBoxDialog();
    SeenBox seen;
    WhenShown<QMessageBox>([&seen](QMessageBox *box) {
        seen.shown = true;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    ShowException(std::make_exception_ptr(std::runtime_error("Access violation")));
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, "Access violation");
    EXPECT_EQ(seen.title, "Kivrawatch");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, kOk);
}

// ---- the shell ----

class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetShellOpenHandler([this](const QUrl &url) {
            Opened.push_back(url);
            return Answer;
        });
    }
    void TearDown() override { SetShellOpenHandler({}); }

    std::vector<QUrl> Opened;
    bool Answer = true;
};

TEST_F(ShellOpenTest, HelpFileIsBesideTheExecutable) {
    EXPECT_TRUE(OpenHelpFile());
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_TRUE(Opened[0].isLocalFile());
    EXPECT_EQ(Opened[0].toLocalFile(), QCoreApplication::applicationDirPath() + "/kivrawatch.chm");
    EXPECT_EQ(HelpFilePath(), Opened[0].toLocalFile());
}

TEST_F(ShellOpenTest, HomePageIsAWebAddress) {
    Answer = false;
    EXPECT_FALSE(OpenHomePage()) << "the handler's result comes back";
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0].scheme(), "https");
    EXPECT_FALSE(Opened[0].host().isEmpty());
    EXPECT_EQ(Opened[0], HomePageUrl());
}

TEST_F(ShellOpenTest, ReplacingTheHandlerReturnsThePreviousOne) {
    ShellOpenHandler previous = SetShellOpenHandler({});
    ASSERT_TRUE(previous);
    previous(QUrl("file:///x"));
    EXPECT_EQ(Opened.size(), 1u);
    EXPECT_FALSE(SetShellOpenHandler(previous)) << "the default is the empty handler";
}

// ---- the folder picker ----

class FolderPickerTest : public ::testing::Test {
protected:
    void TearDown() override { SetFolderPickerHandler({}); }
};

TEST_F(FolderPickerTest, RealBrowserReturnsTheChosenFolderOrNothing) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    // A deep folder: its path is longer than the 260 characters of a classic path buffer.
    QString deep = root.path();
    while (deep.size() <= 300) deep += "/folder-with-a-rather-long-name";
    ASSERT_TRUE(QDir().mkpath(deep));

    QWidget owner;
    owner.show();
    struct Case {
        const char *name;
        bool accept;
        QString expected;
    };
    const std::vector<Case> cases{{"chosen", true, deep}, {"cancelled", false, QString()}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString title;
        bool directoryMode = false;
        QWidget *parent = nullptr;
        WhenShown<QFileDialog>([&](QFileDialog *dialog) {
            title = dialog->windowTitle();
            directoryMode = dialog->fileMode() == QFileDialog::Directory;
            parent = dialog->parentWidget();
            if (c.accept) {
                dialog->setDirectory(deep);
                static_cast<QDialog *>(dialog)->accept();  // as the Choose button does
            } else {
                dialog->reject();
            }
        });
        const QString path = BrowseForFolder(&owner, "Select Logging Directory!");
        EXPECT_EQ(title, "Select Logging Directory!");
        EXPECT_TRUE(directoryMode);
        EXPECT_EQ(parent, &owner);
        EXPECT_EQ(path, c.expected);
    }
}

TEST_F(FolderPickerTest, ReplacedBrowserIsAskedWithOwnerAndTitle) {
    QWidget owner;
    QWidget *askedOwner = nullptr;
    QString askedTitle;
    SetFolderPickerHandler([&](QWidget *o, const QString &t) {
        askedOwner = o;
        askedTitle = t;
        return QString("/var/log/kivrawatch");
    });
    EXPECT_EQ(BrowseForFolder(&owner, "Select Logging Directory!"), "/var/log/kivrawatch");
    EXPECT_EQ(askedOwner, &owner);
    EXPECT_EQ(askedTitle, "Select Logging Directory!");
}

}  // namespace
