#include "discovery/avahilink.h"

#include "text/logging.h"

#include <avahi-common/address.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <QNetworkInterface>
#include <QThread>
#include <QTimer>

#include <memory>

namespace tarnivel {

namespace {

constexpr int MaxAlternativeNames = 16;
constexpr qsizetype MaxVersionCharacters = 32;
constexpr int MaxMemberCount = 1000;

QString errorText(int error)
{
    return QString::fromUtf8(avahi_strerror(error));
}

// The kernel's index of the interface that holds this address; -1 when none does. Every
// address of 127.0.0.0/8 is the loopback interface's, though it lists only 127.0.0.1.
AvahiIfIndex interfaceHolding(const QHostAddress &address)
{
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        if (address.isLoopback() && interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            return interface.index();
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().isEqual(address, QHostAddress::TolerantConversion))
                return interface.index();
        }
    }
    return -1;
}

// A copy bound to one address gets a host name of its own that resolves to that address
// alone ("daemonhost-192-0-2-5.local"): the daemon's own host name answers with every
// address of the machine, and then a resolver may pick another copy's.
QByteArray ownHostName(const char *daemonHost, const QHostAddress &address, const char *domain)
{
    const QByteArray suffix = '-' + address.toString().toLatin1().replace('.', '-');
    QByteArray label = QByteArray(daemonHost ? daemonHost : "tarnivel");
    label.truncate(qMax<qsizetype>(1, 63 - suffix.size())); // a label is at most 63 bytes
    return label + suffix + '.' + QByteArray(domain ? domain : "local");
}

QByteArray alternativeServiceName(const QByteArray &name)
{
    char *next = avahi_alternative_service_name(name.constData());
    const QByteArray result(next);
    avahi_free(next);
    return result;
}

QByteArray alternativeHostName(const QByteArray &fqdn)
{
    const qsizetype dot = fqdn.indexOf('.');
    char *next = avahi_alternative_host_name(fqdn.left(dot).constData());
    const QByteArray result = QByteArray(next) + fqdn.mid(dot);
    avahi_free(next);
    return result;
}

using TxtRecord = std::unique_ptr<AvahiStringList, decltype(&avahi_string_list_free)>;

// What a copy's TXT record says besides its name and address.
TxtRecord txtRecord(const LanAnnouncement &announcement)
{
    const QByteArray members = "members=" + QByteArray::number(announcement.memberCount);
    const QByteArray version = "version=" + announcement.version.toUtf8();
    // Only a keyed copy says so: a plain copy's record stays as it always was.
    const char *keyed = announcement.keyed ? "keyed=1" : nullptr;
    return TxtRecord(avahi_string_list_new(members.constData(), version.constData(), keyed, nullptr),
                     &avahi_string_list_free);
}

QString txtValue(AvahiStringList *txt, const char *key)
{
    AvahiStringList *item = avahi_string_list_find(txt, key);
    if (!item)
        return QString();
    char *foundKey = nullptr;
    char *value = nullptr;
    size_t size = 0;
    if (avahi_string_list_get_pair(item, &foundKey, &value, &size) < 0)
        return QString();
    const QString text = value ? QString::fromUtf8(value, qsizetype(size)) : QString();
    avahi_free(foundKey);
    avahi_free(value);
    return text;
}

QString keyOf(AvahiIfIndex interface, const char *name, const char *domain)
{
    return QStringLiteral("%1|%2|%3").arg(interface).arg(QString::fromUtf8(domain), QString::fromUtf8(name));
}

} // namespace

AvahiLink::AvahiLink(AvahiDiscovery &owner)
    : m_owner(&owner)
    , m_retry(new QTimer(this)) // a child, so it moves to Avahi's thread with the link
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &AvahiLink::retry);
}

void AvahiLink::tell(std::function<void(AvahiDiscovery &)> f)
{
    QMetaObject::invokeMethod(
        m_owner, [owner = m_owner, f = std::move(f)] { f(*owner); }, Qt::QueuedConnection);
}

void AvahiLink::tellAvailability(LanAvailability availability)
{
    tell([availability](AvahiDiscovery &d) { d.setAvailability(availability); });
}

void AvahiLink::tellAnnounceFailed(const QString &reason)
{
    tell([reason](AvahiDiscovery &d) { emit d.announceFailed(reason); });
}

bool AvahiLink::running() const
{
    return m_client && avahi_client_get_state(m_client) == AVAHI_CLIENT_S_RUNNING;
}

bool AvahiLink::ensureClient()
{
    if (m_client)
        return true;
    if (m_retry->isActive())
        return false;
    ++attempts;
    int error = 0;
    // With NO_FAIL a missing daemon is waited for through the bus; only a missing bus fails here.
    AvahiClient *client = avahi_client_new(m_poll.api(), AVAHI_CLIENT_NO_FAIL, &AvahiLink::onClient, this, &error);
    if (!client) {
        m_client = nullptr;
        qCDebug(lcLan) << "cannot reach the Avahi daemon:" << errorText(error) << "- trying again in" << m_retryDelayMs
                       << "ms";
        tellAvailability(LanAvailability::Unavailable);
        m_retry->start(m_retryDelayMs);
        m_retryDelayMs = qMin(2 * m_retryDelayMs, AvahiDiscovery::LastRetryMs);
        return false;
    }
    m_client = client; // the callback may have set it already
    m_retryDelayMs = AvahiDiscovery::FirstRetryMs;
    return true;
}

void AvahiLink::retry()
{
    if (m_wanted || m_browsing)
        ensureClient();
}

void AvahiLink::onClient(AvahiClient *client, AvahiClientState state, void *self)
{
    auto &link = *static_cast<AvahiLink *>(self);
    // The first call comes from inside avahi_client_new, before it has returned the client.
    link.m_client = client;
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        link.tellAvailability(LanAvailability::Available);
        link.publish();
        link.startBrowser();
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The daemon's host name is changing: our records wait until it has one again.
        if (link.m_group)
            avahi_entry_group_reset(link.m_group);
        link.m_published.reset();
        break;
    case AVAHI_CLIENT_CONNECTING:
        qCDebug(lcLan) << "no Avahi daemon on the bus; waiting for one";
        link.tellAvailability(LanAvailability::Unavailable);
        break;
    case AVAHI_CLIENT_FAILURE: {
        const int error = avahi_client_errno(client);
        qCDebug(lcLan) << "Avahi failed:" << errorText(error);
        link.tellAvailability(LanAvailability::Unavailable);
        // The client is freed outside its own callback, once.
        if (!link.m_restartQueued) {
            link.m_restartQueued = true;
            QTimer::singleShot(0, &link, [&link, error] { link.restartAfterFailure(error); });
        }
        break;
    }
    }
}

void AvahiLink::restartAfterFailure(int error)
{
    m_restartQueued = false;
    if (!m_client)
        return; // it failed while being made, and its retry is set already
    dropClient(false);
    if (!m_wanted && !m_browsing)
        return;
    if (error == AVAHI_ERR_DISCONNECTED) {
        ensureClient(); // the daemon went away: wait for it to come back
    } else {
        m_retry->start(m_retryDelayMs);
        m_retryDelayMs = qMin(2 * m_retryDelayMs, AvahiDiscovery::LastRetryMs);
    }
}

void AvahiLink::dropClient(bool quietly)
{
    const QStringList keys = m_resolvers.keys();
    m_resolvers.clear();
    m_browser = nullptr;
    m_group = nullptr;
    m_published.reset();
    if (m_client)
        avahi_client_free(m_client); // frees its groups, browsers and resolvers too
    m_client = nullptr;
    if (!quietly) {
        for (const QString &key : keys)
            tell([key](AvahiDiscovery &d) { emit d.lost(key); });
    }
}

void AvahiLink::shutDown()
{
    m_retry->stop();
    dropClient(true);
    QThread::currentThread()->quit();
}

// ---- Announcing -------------------------------------------------------------------------

void AvahiLink::setAnnouncement(std::optional<LanAnnouncement> announcement)
{
    m_wanted = std::move(announcement);
    if (!m_wanted) {
        dropGroup();
        return;
    }
    if (ensureClient())
        publish();
}

void AvahiLink::dropGroup()
{
    if (m_group)
        avahi_entry_group_free(m_group); // its records are withdrawn
    m_group = nullptr;
    m_published.reset();
}

void AvahiLink::publish()
{
    if (!m_wanted || !running())
        return;
    const LanAnnouncement wanted = *m_wanted;
    if (m_published && *m_published == wanted)
        return;
    if (!m_group) {
        m_group = avahi_entry_group_new(m_client, &AvahiLink::onGroup, this);
        if (!m_group) {
            tellAnnounceFailed(errorText(avahi_client_errno(m_client)));
            return;
        }
    }
    if (wanted.instanceName != m_nameSource) {
        m_nameSource = wanted.instanceName;
        m_serviceName = wanted.instanceName.toUtf8();
    }
    // Only the count or the version changed: the TXT record alone is replaced.
    if (m_published) {
        LanAnnouncement before = *m_published;
        before.memberCount = wanted.memberCount;
        before.version = wanted.version;
        before.keyed = wanted.keyed;
        if (before == wanted
            && avahi_entry_group_update_service_txt_strlst(m_group, m_publishedInterface, AVAHI_PROTO_INET,
                                                           AvahiPublishFlags(0), m_serviceName.constData(),
                                                           LanServiceType, nullptr, txtRecord(wanted).get())
                >= 0) {
            m_published = wanted;
            return;
        }
    }
    avahi_entry_group_reset(m_group);
    m_published.reset();
    if (addEntries(wanted))
        m_published = wanted;
}

bool AvahiLink::addEntries(const LanAnnouncement &announcement)
{
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    if (announcement.address.isNull()) {
        m_hostName.clear();
    } else {
        interface = interfaceHolding(announcement.address);
        if (interface < 0) {
            tellAnnounceFailed(QStringLiteral("no network interface holds %1").arg(announcement.address.toString()));
            return false;
        }
        AvahiAddress address;
        if (!avahi_address_parse(announcement.address.toString().toLatin1().constData(), AVAHI_PROTO_INET, &address)) {
            tellAnnounceFailed(QStringLiteral("%1 is not an IPv4 address").arg(announcement.address.toString()));
            return false;
        }
        if (m_hostName.isEmpty() || m_hostAddress != announcement.address)
            m_hostName = ownHostName(avahi_client_get_host_name(m_client), announcement.address,
                                     avahi_client_get_domain_name(m_client));
        m_hostAddress = announcement.address;
        int result = AVAHI_ERR_COLLISION;
        for (int i = 0; i < MaxAlternativeNames && result == AVAHI_ERR_COLLISION; ++i) {
            // No reverse record: the daemon has one for the machine's addresses already.
            result = avahi_entry_group_add_address(m_group, interface, AVAHI_PROTO_INET, AVAHI_PUBLISH_NO_REVERSE,
                                                   m_hostName.constData(), &address);
            if (result == AVAHI_ERR_COLLISION)
                m_hostName = alternativeHostName(m_hostName);
        }
        if (result < 0) {
            tellAnnounceFailed(errorText(result));
            return false;
        }
    }
    const TxtRecord txt = txtRecord(announcement);
    int result = AVAHI_ERR_COLLISION;
    for (int i = 0; i < MaxAlternativeNames && result == AVAHI_ERR_COLLISION; ++i) {
        // Another client of this daemon (another copy on this machine) has the name already.
        result = avahi_entry_group_add_service_strlst(
            m_group, interface, AVAHI_PROTO_INET, AvahiPublishFlags(0), m_serviceName.constData(), LanServiceType,
            nullptr, m_hostName.isEmpty() ? nullptr : m_hostName.constData(), announcement.port, txt.get());
        if (result == AVAHI_ERR_COLLISION)
            m_serviceName = alternativeServiceName(m_serviceName);
    }
    if (result >= 0)
        result = avahi_entry_group_commit(m_group);
    if (result < 0) {
        tellAnnounceFailed(errorText(result));
        avahi_entry_group_reset(m_group);
        return false;
    }
    m_publishedInterface = interface;
    qCDebug(lcLan) << "announcing" << m_serviceName << "on interface" << interface << "host" << m_hostName;
    return true;
}

void AvahiLink::onGroup(AvahiEntryGroup *group, AvahiEntryGroupState state, void *self)
{
    auto &link = *static_cast<AvahiLink *>(self);
    link.m_group = group; // the first call comes from inside avahi_entry_group_new
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        qCDebug(lcLan) << "announced as" << link.m_serviceName;
        break;
    case AVAHI_ENTRY_GROUP_COLLISION:
        // Another machine uses the name: take the next one ("name #2") and publish again.
        link.m_serviceName = alternativeServiceName(link.m_serviceName);
        if (!link.m_hostName.isEmpty())
            link.m_hostName = alternativeHostName(link.m_hostName);
        qCDebug(lcLan) << "name in use on the network; trying" << link.m_serviceName;
        avahi_entry_group_reset(group);
        link.m_published.reset();
        link.publish();
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        link.tellAnnounceFailed(errorText(avahi_client_errno(avahi_entry_group_get_client(group))));
        link.m_published.reset();
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

// ---- Browsing ---------------------------------------------------------------------------

void AvahiLink::setBrowsing(bool on)
{
    m_browsing = on;
    if (!on) {
        dropBrowser();
        return;
    }
    if (ensureClient())
        startBrowser();
}

void AvahiLink::startBrowser()
{
    if (!m_browsing || m_browser || !running())
        return;
    m_browser = avahi_service_browser_new(m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, LanServiceType, nullptr,
                                          AvahiLookupFlags(0), &AvahiLink::onBrowse, this);
    if (!m_browser)
        qCWarning(lcLan) << "cannot browse for copies:" << errorText(avahi_client_errno(m_client));
}

void AvahiLink::dropBrowser()
{
    for (AvahiServiceResolver *resolver : std::as_const(m_resolvers)) {
        if (resolver)
            avahi_service_resolver_free(resolver);
    }
    m_resolvers.clear();
    if (m_browser)
        avahi_service_browser_free(m_browser);
    m_browser = nullptr;
}

void AvahiLink::onBrowse(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                         const char *name, const char *type, const char *domain, AvahiLookupResultFlags flags,
                         void *self)
{
    auto &link = *static_cast<AvahiLink *>(self);
    switch (event) {
    case AVAHI_BROWSER_NEW: {
        if (flags & AVAHI_LOOKUP_RESULT_OUR_OWN)
            return; // this copy itself
        const QString key = keyOf(interface, name, domain);
        if (link.m_resolvers.contains(key))
            return;
        link.m_resolvers.insert(key,
                                avahi_service_resolver_new(link.m_client, interface, protocol, name, type, domain,
                                                           AVAHI_PROTO_INET, AvahiLookupFlags(0), &AvahiLink::onResolve,
                                                           &link));
        break;
    }
    case AVAHI_BROWSER_REMOVE: {
        const QString key = keyOf(interface, name, domain);
        if (!link.m_resolvers.contains(key))
            return;
        if (AvahiServiceResolver *resolver = link.m_resolvers.take(key))
            avahi_service_resolver_free(resolver);
        link.tell([key](AvahiDiscovery &d) { emit d.lost(key); });
        break;
    }
    case AVAHI_BROWSER_FAILURE:
        // The daemon went away; the client's failure starts over.
        qCDebug(lcLan) << "browsing failed:" << errorText(avahi_client_errno(link.m_client));
        break;
    case AVAHI_BROWSER_ALL_FOR_NOW:
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
        break;
    }
}

void AvahiLink::onResolve(AvahiServiceResolver *resolver, AvahiIfIndex interface, AvahiProtocol,
                          AvahiResolverEvent event, const char *name, const char *, const char *domain,
                          const char *hostName, const AvahiAddress *address, uint16_t port, AvahiStringList *txt,
                          AvahiLookupResultFlags, void *self)
{
    auto &link = *static_cast<AvahiLink *>(self);
    const QString key = keyOf(interface, name, domain);
    if (event == AVAHI_RESOLVER_FAILURE) {
        qCDebug(lcLan) << "cannot resolve" << name << ":" << errorText(avahi_client_errno(link.m_client));
        avahi_service_resolver_free(resolver);
        link.m_resolvers.insert(key, nullptr);
        link.tell([key](AvahiDiscovery &d) { emit d.lost(key); });
        return;
    }
    char text[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(text, sizeof text, address);
    FoundCopy copy;
    copy.key = key;
    copy.instanceName = QString::fromUtf8(name);
    copy.hostName = QString::fromUtf8(hostName ? hostName : "");
    copy.address = QHostAddress(QString::fromLatin1(text));
    copy.port = port;
    bool isNumber = false;
    const int members = txtValue(txt, "members").toInt(&isNumber);
    if (isNumber && members >= 0 && members <= MaxMemberCount)
        copy.memberCount = members;
    copy.version = txtValue(txt, "version").left(MaxVersionCharacters);
    copy.keyed = txtValue(txt, "keyed") == QLatin1String("1");
    link.tell([copy](AvahiDiscovery &d) { emit d.found(copy); });
}

} // namespace tarnivel
