#pragma once

#include "startpagestore.h"

#include <QString>

class QWidget;

// Offers to make the vendor's navigation page the browser start page.
class HomePageOffer {
public:
    HomePageOffer(QWidget *parent, const QString &vendorSite, StartPageStoreFactory factory);
    ~HomePageOffer();

    QString targetText() const;

    // At start-up: asks for consent unless the start page is already ours.
    void offerAtStartup();
    // The menu command: sets the start page without asking, then thanks.
    void offerFromMenu();

private:
    StartPageStore *store();
    // The stored start page; "" when missing, unreadable or no store.
    QString readStartPage();
    // Writes the target; a failure is not reported to the user.
    void writeStartPage();

    QWidget *m_parent;
    QString m_vendorSite;
    StartPageStoreFactory m_factory;
    std::unique_ptr<StartPageStore> m_store;
};
