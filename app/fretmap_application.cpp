#include "fretmap_application.h"

#include "ui/error_boundary.h"
#include "ui/message_box.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace fretmap {

FretmapApplication::FretmapApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setIdentity();
    // Qt has taken its own options out of the arguments by now.
    if (const QStringList left = arguments(); left.size() > 1)
        m_unclaimedArgument = left.at(1).toLocal8Bit().toStdString();
    setErrorReporter([this](const QString& text) {
        if (m_reporter)
            m_reporter(text);
    });
}

FretmapApplication::~FretmapApplication()
{
    setErrorReporter({});
}

void FretmapApplication::setIdentity()
{
    setApplicationName(QStringLiteral("Fretmap"));
    setApplicationVersion(QStringLiteral(FRETMAP_VERSION));
    // The name of the installed desktop entry, so that the desktop matches
    // the window to its entry and icon.
    setDesktopFileName(QStringLiteral("io.github.fretmap.Fretmap"));
}

void FretmapApplication::showErrorMessage(const QString& text)
{
    showMessage(QMessageBox::Critical, applicationName(), text, QStringLiteral("errorMessage"));
}

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// The state of the one WindowSystemStart: Qt's handler takes no context.
// The platform may report from its own event thread once it has connected.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
std::mutex g_mutex;
QtMessageHandler g_previousHandler = nullptr;
std::vector<HeldMessage> g_heldMessages;
bool g_displayNamed = false;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

void startMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::lock_guard lock(g_mutex);
    if (type != QtFatalMsg) {
        g_heldMessages.push_back({type, context.category ? context.category : "", text});
        return;
    }
    const bool noneSet = !g_displayNamed && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    std::string line = "fretmap: needs a graphical display, ";
    if (noneSet) {
        line += "and none is set (DISPLAY and WAYLAND_DISPLAY are empty)";
    } else {
        // What the platform said first is the cause; Qt's own fatal message
        // only suggests reinstalling.
        const auto isPlatforms = [](const HeldMessage& held) { return held.category.starts_with("qt.qpa"); };
        const auto fromPlatform = std::find_if(g_heldMessages.begin(), g_heldMessages.end(), isPlatforms);
        const QString& cause = fromPlatform == g_heldMessages.end() ? text : fromPlatform->text;
        line += "and could not open one: " + cause.section(QLatin1Char('\n'), 0, 0).toStdString();
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    // Qt is half started and would abort on return: end here, without
    // running destructors over it.
    std::_Exit(1);
}

} // namespace

WindowSystemStart::WindowSystemStart(bool displayNamed)
{
    g_displayNamed = displayNamed;
    g_previousHandler = qInstallMessageHandler(startMessageHandler);
}

WindowSystemStart::~WindowSystemStart()
{
    qInstallMessageHandler(g_previousHandler);
    const std::lock_guard lock(g_mutex);
    for (const HeldMessage& message : g_heldMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        qt_message_output(message.type, context, message.text);
    }
    g_heldMessages.clear();
}

} // namespace fretmap
