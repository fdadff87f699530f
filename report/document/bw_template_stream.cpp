// The report stream: a template's byte form.
//
//   1  stream version (24; 20 or less: a version-21 stream without this byte)
//   2  bool16 KeepDefaultPrinter
//   2  bool16 TwoPass
//   .  string printer name; the single character 0x01 is the virtual printer
//   then records, each opened by a tag byte:
//   FF  page (TBwPage::load)
//   FE  variable dictionary (TBwDataDictionary::load)
//   FD  data-manager block; ends the stream
//   0..4, 10  object: [tag 10: string class name], byte page index,
//       int end offset (v24: stream position of the byte after the record),
//       body (TBwView::load)
//   5..9  no object; skipped by the end offset
//
// The writer emits the pages, then each page's objects in list order, then
// the dictionary.
#include <memory>

#include "base/bw_messages.h"
#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "document/bw_report.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_object_factory.h"

namespace bwreport {

namespace {

constexpr std::uint8_t kVersion = 24;
constexpr std::uint8_t kPageTag = 0xFF;
constexpr std::uint8_t kDictionaryTag = 0xFE;
constexpr std::uint8_t kDataManagerTag = 0xFD;
const QString kVirtualPrinterMark = QStringLiteral("\x01");

// Creates the view of a record; null for tags that carry none. `framed` is
// set for the old framed text object, read as a text object with 8 more bytes.
std::unique_ptr<TBwView> createForRecord(std::uint8_t tag, const QString& className, bool& framed) {
    framed = false;
    if (tag != gtAddIn) return createView(tag);
    const QString upper = className.toUpper();
    if (upper == u"TBWFRAMEDMEMOVIEW") {
        framed = true;
        return std::make_unique<TBwMemoView>();
    }
    if (upper == u"TBWDESKLOOKUPCONTROL" || upper == u"TBWSERVERLOOKUPCONTROL")
        return createAddIn(QStringLiteral("TBwDBLookupControl"));
    return createAddIn(className);
}

}  // namespace

TBwLoadStatus TBwReport::loadFromStream(const QByteArray& stream) {
    TBwPrinter& printer = TBwPrinter::instance();
    m_loadProblems.clear();
    if (stream.isEmpty()) return TBwLoadStatus::Loaded;

    TBwReader r(stream);
    int version = r.readByte();
    if (version <= 20) {
        r.seek(0);
        version = 21;
    } else if (version > kVersion) {
        m_loadProblems.append(QStringLiteral("offset 0: stream version %1").arg(version));
        showErrorMessage(TBwLocale::loadStr(sBadFormat));
        return TBwLoadStatus::VersionRefused;
    }
    r.setVersion(version);
    clear();

    QStringList missing;
    try {
        KeepDefaultPrinter = r.readBool16();
        TwoPass = r.readBool16();
        QString name = r.readString();
        if (name == kVirtualPrinterMark) name = TBwLocale::loadStr(sVirtualPrinter);
        if (!KeepDefaultPrinter) {
            const int index = printer.indexOf(name);
            if (index >= 0) printer.selectPrinter(index);
        }
        PrinterName = name;

        while (!r.atEnd()) {
            const qsizetype at = r.pos();
            const std::uint8_t tag = r.readByte();
            if (tag == kPageTag) {
                m_pages.append(std::make_unique<TBwPage>(this)).load(r);
            } else if (tag == kDictionaryTag) {
                m_dictionary.load(r, [this](const QString& source) {
                    return findDataSet(source.section(QLatin1Char('.'), 0, 0)) != nullptr;
                });
            } else if (tag == kDataManagerTag) {
                m_dataManagerBlock = stream.mid(at);
                break;
            } else if (tag > gtAddIn) {
                r.fail(QStringLiteral("record of unknown kind %1").arg(tag), at);
            } else {
                readObjectRecord(r, tag, at, missing);
            }
        }
    } catch (const EBwStreamError& e) {
        m_loadProblems.append(e.text());
        clear();
        m_pages.add();
        showErrorMessage(TBwLocale::loadStr(sBadFormat));
        return TBwLoadStatus::Failed;
    }

    for (const auto& page : m_pages)
        for (const auto& view : page->objects())
            view->afterLoad();

    if (!missing.isEmpty()) {
        QString text = kMissingComponents + QLatin1Char('\r');
        for (const QString& className : missing)
            text += className + QLatin1Char('\r');
        showErrorMessage(text + kIncludeComponents);
        return TBwLoadStatus::MissingClasses;
    }
    return TBwLoadStatus::Loaded;
}

void TBwReport::readObjectRecord(TBwReader& r, std::uint8_t tag, qsizetype recordStart,
                                 QStringList& missing) {
    // The record's head: a failure here cannot be stepped over.
    const bool hasEnd = r.version() >= 24;
    const QString className = tag == gtAddIn ? r.readString() : QString();
    const int pageIndex = r.readByte();
    qsizetype end = -1;
    if (hasEnd) {
        const qsizetype at = r.pos();
        end = r.readInt();
        // Forward only, so that every record moves the reader on.
        if (end < r.pos() || end > r.size())
            r.fail(QStringLiteral("record from %1 ends at %2, outside %3..%4")
                       .arg(recordStart)
                       .arg(end)
                       .arg(r.pos())
                       .arg(r.size()),
                   at);
    }

    try {
        bool framed = false;
        std::unique_ptr<TBwView> view = createForRecord(tag, className, framed);
        if (!view && tag == gtAddIn) {
            if (!missing.contains(className)) missing.append(className);
            m_loadProblems.append(
                QStringLiteral("offset %1: object of unregistered class \"%2\" skipped")
                    .arg(recordStart)
                    .arg(className));
        } else if (view) {
            if (pageIndex >= m_pages.count())
                r.fail(QStringLiteral("object of page %1, but the stream has %2 pages before it")
                           .arg(pageIndex)
                           .arg(m_pages.count()),
                       recordStart);
            TBwPage& page = m_pages[pageIndex];
            view->ParentPage = &page;
            view->load(r);
            if (framed) r.readBytes(8);
            // Nameless objects (older streams) are named as new ones are;
            // a version-24 object keeps the name it was stored with.
            page.add(std::move(view), r.version() < 24);
        }
    } catch (const EBwStreamError& e) {
        m_loadProblems.append(QStringLiteral("object skipped: %1").arg(e.text()));
        // Older streams carry no end offset: reading goes on from where the body failed.
    }
    if (hasEnd) r.seek(end);
}

QByteArray TBwReport::saveToStream() const {
    TBwWriter w;
    w.writeByte(kVersion);
    w.writeBool16(KeepDefaultPrinter);
    w.writeBool16(TwoPass);
    const TBwPrinter& printer = TBwPrinter::instance();
    w.writeString(printer.isVirtual() ? kVirtualPrinterMark : printer.printerName());
    for (const auto& page : m_pages) {
        w.writeByte(kPageTag);
        page->save(w);
    }
    for (int i = 0; i < m_pages.count(); ++i) {
        if (i > 255 && m_pages[i].count() > 0)
            throw EBwError(
                QStringLiteral("Шаблон отчета не может хранить объекты страницы %1").arg(i + 1));
        for (const auto& view : m_pages[i].objects()) {
            w.writeByte(view->type());
            if (view->type() == gtAddIn) w.writeString(view->className());
            w.writeByte(static_cast<std::uint8_t>(i));
            const qsizetype at = w.pos();
            w.writeInt(0);
            view->save(w);
            w.patchInt(at, static_cast<std::int32_t>(w.pos()));
        }
    }
    w.writeByte(kDictionaryTag);
    m_dictionary.save(w);
    w.writeBytes(m_dataManagerBlock);
    return w.bytes();
}

void TBwReport::readReportForm(const QByteArray& data) {
    TBwReader r(data);
    r.readInt();  // the engine version of the writer
    m_heldTemplate.clear();
    m_hasHeldTemplate = false;
    if (!StoreInForm) return;
    const qsizetype at = r.pos();
    const std::int32_t length = r.readInt();
    if (length < 0 || length > r.left())
        r.fail(QStringLiteral("a template of %1 bytes in %2 bytes").arg(length).arg(r.left()), at);
    m_heldTemplate = r.readBytes(length);
    m_hasHeldTemplate = true;
}

QByteArray TBwReport::writeReportForm() const {
    TBwWriter w;
    w.writeInt(kVersion);
    if (StoreInForm) {
        const QByteArray stream = saveToStream();
        w.writeInt(static_cast<std::int32_t>(stream.size()));
        w.writeBytes(stream);
    }
    return w.bytes();
}

void TBwReport::loaded() {
    if (!m_hasHeldTemplate) return;
    const QByteArray stream = std::move(m_heldTemplate);
    m_heldTemplate.clear();
    m_hasHeldTemplate = false;
    loadFromStream(stream);
}

}  // namespace bwreport
