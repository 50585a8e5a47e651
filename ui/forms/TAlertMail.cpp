#include "TAlertMail.h"

#include "EIdConnectTimeout.h"
#include "EIdProtocolReplyError.h"
#include "EIdSocketError.h"
#include "MessageBoxHook.h"

TAlertMail::TAlertMail() {
    IdSMTPAlert.Port = 25;
    IdSMTPAlert.AuthenticationType = atNone;
}

const char *TAlertMail::AlertBody(bool lostConnection, bool highDemand, bool slowResponse) {
    if (lostConnection) return "Kivrawatch has lost connection to this server";
    if (highDemand && slowResponse)
        return "Kivrawatch is experiencing high demand and slow responses for this server";
    if (highDemand) return "Kivrawatch is experiencing high demand on this server";
    return "Kivrawatch is experiencing slow responses from this server";
}

void TAlertMail::SendAlertEmail(const stEmailAlerts &settings, const std::string &server,
                                bool lostConnection, bool highDemand, bool slowResponse) {
    if (!settings.EmailAlerts) return;

    IdSMTPAlert.Host = settings.SMTPHost;
    if (settings.SMTPAuthenticationType <= 0) {
        IdSMTPAlert.AuthenticationType = atNone;
    } else {
        // User name and password are set only for LOGIN; otherwise they keep what the last mail
        // left in them, unused.
        IdSMTPAlert.AuthenticationType = atLogin;
        IdSMTPAlert.Username = settings.SMTPUser;
        IdSMTPAlert.Password = settings.SMTPPassword;
    }
    IdAlertMessage.Recipients = settings.AlertEmails;
    IdAlertMessage.FromAddress = settings.FromEmail;
    IdAlertMessage.SenderAddress = settings.FromEmail;
    IdAlertMessage.Subject = kSubjectPrefix + server;
    IdAlertMessage.Body = {AlertBody(lostConnection, highDemand, slowResponse)};

    std::string failure, caption;
    try {
        IdSMTPAlert.Connect(kConnectTimeoutMs);
        IdSMTPAlert.Send(IdAlertMessage);
    } catch (const EIdProtocolReplyError &e) {
        failure = e.what();
        caption = "Protocol Reply Error";
    } catch (const EIdSocketError &e) {
        failure = e.what();
        caption = "Socket Error";
    } catch (const EIdConnectTimeout &e) {
        failure = e.what();
        caption = "Socket Error";
    } catch (const EIdException &e) {
        failure = e.what();
        caption = "Error";
    }
    IdSMTPAlert.Disconnect();
    if (!caption.empty()) kivra::ApplicationMessageBox(failure, caption, kivra::MB_OK);
}
