#pragma once
// An HTTPS server on 127.0.0.1 inside the test process, with a certificate
// made at set-up. Only a client that is handed `tls()` trusts it.

#include <QHash>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <functional>
#include <memory>

class LoopbackHttps : public QObject {
public:
    // A handler answers one request on the socket it is given.
    using Handler = std::function<void(QSslSocket*)>;

    // `sameIdentity` lends its certificate: one more port of the same host.
    explicit LoopbackHttps(const LoopbackHttps* sameIdentity = nullptr)
    {
        if (sameIdentity) {
            certificate_ = sameIdentity->certificate_;
            key_ = sameIdentity->key_;
        } else {
            makeCertificate();
        }
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(certificate_);
        config.setPrivateKey(key_);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(config);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                serve(static_cast<QSslSocket*>(s));
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return server_.serverPort(); }
    QString url(const QString& path, const QString& host = "127.0.0.1") const
    {
        return QString("https://%1:%2%3").arg(host).arg(port()).arg(path);
    }

    QSslConfiguration tls() const
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificate(certificate_);
        return config;
    }

    void route(const QString& path, Handler handler) { routes_[path] = std::move(handler); }

    static void reply(QSslSocket* s, int status, const QByteArray& body, const QByteArray& headers = {})
    {
        s->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nConnection: close\r\n" + headers + "\r\n" + body);
        s->disconnectFromHost();
    }

    static Handler body(const QByteArray& bytes, int status = 200)
    {
        return [bytes, status](QSslSocket* s) { reply(s, status, bytes); };
    }

    static Handler redirect(const QString& to)
    {
        return [to](QSslSocket* s) { reply(s, 302, {}, "Location: " + to.toUtf8() + "\r\n"); };
    }

    // Headers promising a large body, then one byte every tenth of a second.
    static Handler drip()
    {
        return [](QSslSocket* s) {
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
            auto* timer = new QTimer(s);
            QObject::connect(timer, &QTimer::timeout, s, [s] { s->write(" "); });
            timer->start(100);
        };
    }

private:
    void serve(QSslSocket* s)
    {
        s->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(s, &QSslSocket::readyRead, s, [this, s, buffer] {
            buffer->append(s->readAll());
            if (!buffer->contains("\r\n\r\n"))
                return;
            const QByteArray path = buffer->split(' ').value(1);
            buffer->clear();
            auto it = routes_.find(QString::fromUtf8(path));
            if (it == routes_.end())
                reply(s, 404, "missing");
            else
                (*it)(s);
        });
        QObject::connect(s, &QSslSocket::disconnected, s, &QObject::deleteLater);
    }

    void makeCertificate()
    {
        EVP_PKEY* pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        X509* x = X509_new();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 86400);
        X509_set_pubkey(x, pkey);
        X509_NAME* name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                                   -1, -1, 0);
        X509_set_issuer_name(x, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
        for (auto [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                                  std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
            X509_add_ext(x, ext, -1);
            X509_EXTENSION_free(ext);
        }
        X509_sign(x, pkey, EVP_sha256());
        auto pem = [](auto write) {
            BIO* bio = BIO_new(BIO_s_mem());
            write(bio);
            char* data = nullptr;
            const long n = BIO_get_mem_data(bio, &data);
            QByteArray out(data, int(n));
            BIO_free(bio);
            return out;
        };
        certificate_ = QSslCertificate(pem([&](BIO* b) { PEM_write_bio_X509(b, x); }));
        key_ = QSslKey(pem([&](BIO* b) { PEM_write_bio_PrivateKey(b, pkey, nullptr, nullptr, 0, nullptr, nullptr); }),
                       QSsl::Ec);
        X509_free(x);
        EVP_PKEY_free(pkey);
    }

    QSslServer server_;
    QSslCertificate certificate_;
    QSslKey key_;
    QHash<QString, Handler> routes_;
};
