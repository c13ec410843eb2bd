#pragma once

#include "startpagestore.h"

#include <QObject>
#include <QString>

#include <functional>

class Prompt;

// Offers to make the vendor's navigation page the browser start page.
class HomePageOffer : public QObject {
    Q_OBJECT
public:
    // navigationPage is what the start page is to become; prompt must
    // outlive the offer.
    HomePageOffer(const QString &navigationPage, StartPageStoreFactory factory, Prompt *prompt,
        QObject *parent = nullptr);
    ~HomePageOffer() override;

    // At start-up: asks for consent unless the start page is already ours.
    // done runs once the user has closed the last box, or at once (queued)
    // when nothing is asked.
    void offerAtStartup(std::function<void()> done);
    // The menu command: sets the start page without asking, then thanks.
    void setStartPageAndThank();

private:
    StartPageStore *store();
    // The stored start page; "" when missing, unreadable or no store.
    QString readStartPage();
    // Writes the target; a failure is not reported to the user.
    void writeStartPage();

    QString m_navigationPage;
    StartPageStoreFactory m_factory;
    Prompt *m_prompt;
    std::unique_ptr<StartPageStore> m_store;
};
