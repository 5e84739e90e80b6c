#pragma once
// The Qt application of a fuzz target that draws: offscreen, made once on first use.

#include <QGuiApplication>

QGuiApplication& OffscreenGuiApp();
