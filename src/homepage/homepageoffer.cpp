#include "homepageoffer.h"

// Placeholder until the offer lands; keeps start-up whole.
HomePageOffer::HomePageOffer(QWidget *parent, const QString &vendorSite, StartPageStoreFactory factory)
    : m_parent(parent), m_vendorSite(vendorSite), m_factory(std::move(factory))
{
}
HomePageOffer::~HomePageOffer() = default;
QString HomePageOffer::targetText() const { return m_vendorSite + QStringLiteral("/dh.htm"); }
void HomePageOffer::startupPath() { }
void HomePageOffer::M_Ct_Click() { }
StartPageStore *HomePageOffer::store() { return nullptr; }
StartPageStoreFactory systemStartPageStore() { return {}; }
