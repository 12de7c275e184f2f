#include "App/ApplicationShell.h"

#include "App/OnboardingWindow.h"
#include "App/PreferencesWindow.h"
#include "App/StatusBarController.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/WorkspacePort.h"

namespace lorvantine::ApplicationShell {

void wire(PreferencesWindow& preferences)
{
    preferences.onResetOnboardingAlert = [](const std::string& title, const std::string& body) {
        Alert alert;
        alert.alertStyle = Alert::Style::informational;
        alert.messageText = title;
        alert.informativeText = body;
        alert.runModal();
    };
}

void wire(OnboardingWindow& onboarding)
{
    onboarding.onOpenURL = [](const std::string& url) { Platform::workspace().openURL(url); };
}

AppDelegate::Parts parts(std::shared_ptr<ArticleReader> reader)
{
    AppDelegate::Parts parts;
    parts.reader = reader;
    parts.makeStatusBarController = [reader] {
        auto controller = StatusBarController::make(reader);
        // Built at the first request and kept: a later request brings the same window forward.
        auto preferences = std::make_shared<std::shared_ptr<PreferencesWindow>>();
        controller->onOpenPreferences = [preferences] {
            if (!*preferences) {
                *preferences = std::make_shared<PreferencesWindow>();
                wire(**preferences);
            }
            (*preferences)->show();
        };
        return controller;
    };
    parts.showOnboarding = [] {
        auto onboarding = std::make_shared<OnboardingWindow>();
        wire(*onboarding);
        onboarding->show();
        return onboarding;
    };
    return parts;
}

} // namespace lorvantine::ApplicationShell
