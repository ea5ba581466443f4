#include <gtest/gtest.h>

#include <QObject>

#include "MqUtils.h"
#include "RuntimeTestSupport.h"

namespace {

struct TProbe : IMqInterface {
    int Value = 7;
};

template <class E>
void ExpectRaises(const std::function<void()>& f, const char* className, const char* message)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << className;
    } catch (const E& e) {
        EXPECT_STREQ(e.ClassName(), className);
        EXPECT_STREQ(e.what(), message);
    }
}

} // namespace

// Every argument kind is stored by its copy rule and read back with its kind code;
// both kinds of string are stored as kind 4 and handed back as long strings (11).
TEST(MqParams, EveryKindIsStoredAndReadBack)
{
    QObject obj;
    const char* text = "pchar";
    const char16_t* wtext = u"pwide";
    auto intf = std::make_shared<TProbe>();
    const long double ext = 1.25L;

    auto list = std::make_shared<TMqParams>(TVarRecArray{
        int32_t(-5), true, 'x', ext, TVarRec::ShortString("short"), static_cast<void*>(&obj),
        TVarRec::PChar(text), &obj, TVarRec::Class(typeid(TProbe)), char16_t(u'W'), TVarRec::PWideChar(wtext),
        QString("long"), TVarRec::Currency(123456), QVariant(QStringList{"a", "b"}), intf,
        std::u16string(u"wide"), TVarRec::Int64(int64_t{1} << 40)});
    ASSERT_EQ(list->Count(), 17);

    TVarRecArray back;
    list->GetParams(0, back);
    ASSERT_EQ(back.size(), 17u);
    const TVarKind kinds[] = {vtInteger,  vtBoolean, vtChar,      vtExtended,   vtAnsiString, vtPointer,
                              vtPChar,    vtObject,  vtClass,     vtWideChar,   vtPWideChar,  vtAnsiString,
                              vtCurrency, vtVariant, vtInterface, vtWideString, vtInt64};
    for (size_t i = 0; i < back.size(); ++i)
        EXPECT_EQ(back[i].Kind(), kinds[i]) << "entry " << i;

    EXPECT_EQ(back[0].VInteger(), -5);
    EXPECT_TRUE(back[1].VBoolean());
    EXPECT_EQ(back[2].VChar(), 'x');
    EXPECT_EQ(back[3].VExtended(), ext);
    EXPECT_EQ(back[4].VString(), "short");
    EXPECT_EQ(back[5].VPointer(), &obj);
    EXPECT_EQ(back[6].VPChar(), text); // the text itself is not copied
    EXPECT_EQ(back[7].VObject(), &obj);
    EXPECT_EQ(*back[8].VClass(), typeid(TProbe));
    EXPECT_EQ(back[9].VWideChar(), u'W');
    EXPECT_EQ(back[10].VPWideChar(), wtext);
    EXPECT_EQ(back[11].VString(), "long");
    EXPECT_EQ(back[12].VCurrency(), 123456);
    EXPECT_EQ(back[13].VVariant().toStringList(), (QStringList{"a", "b"}));
    EXPECT_EQ(back[14].VInterface(), intf);
    EXPECT_EQ(back[15].VWideString(), u"wide");
    EXPECT_EQ(back[16].VInt64(), int64_t{1} << 40);

    list->GetParams(15, back);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Kind(), vtWideString);
}

TEST(MqParams, EmptyListsAndRangesGiveEmptyArrays)
{
    TMqParams list;
    EXPECT_EQ(list.Count(), 0);
    TVarRecArray back{1, 2};
    list.GetParams(0, back);
    EXPECT_TRUE(back.empty());

    list.SetParams({1, 2, 3});
    list.GetParams(3, back);
    EXPECT_TRUE(back.empty());
    list.GetParams(7, back);
    EXPECT_TRUE(back.empty());
    list.SetParams({});
    EXPECT_EQ(list.Count(), 0);
}

TEST(MqParams, AccessorReadsStringsAndIntegersAndRefusesOtherKinds)
{
    TMqParams list({TVarRec::ShortString("abc"), "def", 42, 1.5});
    EXPECT_EQ(list.Param(0).AsString(), "abc");
    EXPECT_EQ(list.Param(1).AsString(), "def");
    EXPECT_EQ(list.Param(2).AsInteger(), 42);

    for (int i : {0, 1, 3})
        ExpectRaises<EParamTypeMismatch>([&] { list.Param(i).AsInteger(); }, "EParamTypeMismatch",
                                         "Type mismatch in Params");
    for (int i : {2, 3})
        ExpectRaises<EParamTypeMismatch>([&] { list.Param(i).AsString(); }, "EParamTypeMismatch",
                                         "Type mismatch in Params");
    for (int i : {-1, 4})
        ExpectRaises<EParamExceedsBounds>([&] { list.Param(i); }, "EParamExceedsBounds",
                                          "Params bounds exceeded");
}

TEST(MqParams, TheAccessorIsSharedAndRepositioned)
{
    TMqParams list({10, 20, 30});
    TMqParam& first = list.Param(0);
    TMqParam& second = list.Param(2);
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(first.Index(), 2);
    EXPECT_EQ(first.AsInteger(), 30);
}

// Owned values live as long as the list: strings and variants are copies, an
// interface is a reference taken and released with the list.
TEST(MqParams, OwnedValuesOutliveTheCallerAndAreReleasedWithTheList)
{
    auto intf = std::make_shared<TProbe>();
    IMqParamsPtr list;
    {
        QString text = "temporary";
        std::u16string wide = u"temp";
        list = std::make_shared<TMqParams>(TVarRecArray{text, wide, intf, QVariant(5)});
        text.fill('x');
        wide.assign(u"xxxx");
    }
    EXPECT_EQ(intf.use_count(), 2);
    TVarRecArray back;
    list->GetParams(0, back);
    EXPECT_EQ(back[0].VString(), "temporary");
    EXPECT_EQ(back[1].VWideString(), u"temp");
    EXPECT_EQ(back[3].VVariant().toInt(), 5);
    back.clear();
    list.reset();
    EXPECT_EQ(intf.use_count(), 1);
}

TEST(MqParams, CountsListsAliveAndNumbersThemAndTracesOnRequest)
{
    zt::LogCapture log;
    const int alive = g_ParamListCount.load();
    int32_t serial;
    {
        TMqParams a;
        TMqNotifyParams b("name", {1}, true);
        EXPECT_EQ(g_ParamListCount.load(), alive + 2);
        EXPECT_EQ(b.SerialNumber(), a.SerialNumber() + 1);
        EXPECT_EQ(b.Name(), "name");
        serial = b.SerialNumber();
    }
    EXPECT_EQ(g_ParamListCount.load(), alive);
    EXPECT_EQ(log.Lines(), QStringList{QString("Create TMqNotifyParams SN = %1").arg(serial)});
}
