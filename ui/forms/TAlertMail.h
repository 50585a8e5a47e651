#pragma once
// TAlertMail: the main window's alert mail, without widgets: the mail client IdSMTPAlert and the
// message IdAlertMessage, and the sending of one alert mail when an alert of a server fires.
// TFormMain owns one and forwards its SendAlertEmail to it with its AlertSettings.
//
// A mail is sent only while the settings' enable-email switch is on (with it off the alerts
// still latch and count; nothing is mailed). Every mail takes host, authentication, recipients,
// sender, subject and body from the settings of the call. A mail that fails is dropped, not
// retried, and its failure shown in one message box (OK, no icon): "Protocol Reply Error" when the
// server answered with an error, "Socket Error" when the connection could not be made, not made in
// time, or broke, "Error" for a mail the client refused before any traffic (no recipient). The
// session is closed after every attempt, failed or not, so the next alert starts afresh; nothing
// the mail layer raises reaches the caller, so the poll that raised the alert goes on to refresh
// the views.
//
// Threads: main thread only. It runs inside a worker's hand-over: the exchange (up to the connect
// time-out plus the SMTP exchange) and an error box hold that worker and the user interface.

#include "KivraOwner.h"
#include "TIdMessage.h"
#include "TIdSMTP.h"

#include <string>

class TAlertMail {
public:
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr const char *kSubjectPrefix = "Kivrawatch Alert on server ";

    TAlertMail();

    // One alert mail naming server and the checks that fired; does nothing when the settings'
    // EmailAlerts is off. Failures are shown, never raised.
    void SendAlertEmail(const stEmailAlerts &settings, const std::string &server,
                        bool lostConnection, bool highDemand, bool slowResponse);

    // The body line for the flags of an alert; the first matching rule wins (a lost connection
    // over the rest).
    static const char *AlertBody(bool lostConnection, bool highDemand, bool slowResponse);

    TIdSMTP IdSMTPAlert;        // port 25, no authentication until a mail sets it
    TIdMessage IdAlertMessage;  // no recipients until a mail sets them
};
