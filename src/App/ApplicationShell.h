#pragma once

#include "App/AppDelegate.h"

#include <memory>

namespace lorvantine {

class ArticleReader;
class OnboardingWindow;
class PreferencesWindow;

// How the application mode joins its windows: the status-bar controller opens one preferences
// window kept for the whole run, the preferences' onboarding reset is answered by a modal alert,
// and the onboarding's links open through the workspace. The delegate itself glues the
// controller's window road to its selection road.
//
// Main thread only; nothing here runs in the background.
namespace ApplicationShell {

// The delegate's parts for the real program; `reader` none: the shared session.
AppDelegate::Parts parts(std::shared_ptr<ArticleReader> reader = nullptr);

// Sets the closures the shell owns on a window made elsewhere.
void wire(PreferencesWindow& preferences);
void wire(OnboardingWindow& onboarding);

} // namespace ApplicationShell

} // namespace lorvantine
