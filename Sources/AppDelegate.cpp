#include "AppDelegate.h"

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}
