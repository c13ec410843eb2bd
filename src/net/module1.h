#pragma once

#include <QString>

class QWidget;

// Online services: a small text fetched over HTTP with a time limit, and the
// version check built on it.
namespace Module1 {

// The running version, "major.minor"; set by CheckVersion.
extern QString LocalVersion;
// What the vendor's version file held; set by CheckVersion.
extern QString ServerVersion;

// GET url with the headers "Cookie: <cookie>" and "If-Modified-Since: 0";
// waits at most timeout seconds (0 means 30, written back) while window
// events keep being processed. Returns the body as decoded text, or "" on any
// failure. Never throws, never shows anything.
QString HttpGetText(const QString &url, const QString &cookie, qint16 &timeout);

// Compares LocalVersion with VendorSite + "/version/zavo.txt" and tells the
// user when it differs or cannot be fetched. Message boxes are parented to
// parent.
void CheckVersion(QWidget *parent, const QString &vendorSite);

} // namespace Module1
