#include "vendorsite.h"

VendorSite::VendorSite(QString base) : m_base(std::move(base))
{
    while (m_base.endsWith(u'/'))
        m_base.chop(1);
}
