<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ar">
<context>
    <name>BoardWarnings</name>
    <message>
        <source>%1، %2</source>
        <translation>%1, %2</translation>
    </message>
    <message numerus="yes">
        <source> و%n تنبيه آخر</source>
        <translation>
            <numerusform> and %n more warning</numerusform>
            <numerusform> and %n more warnings</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: %2 %3</source>
        <translation>%1: %2 %3</translation>
    </message>
    <message>
        <source>%1 في %2</source>
        <translation>%1 in %2</translation>
    </message>
    <message>
        <source>تنبيه من %1: %2 في %3</source>
        <translation>Alert from the %1: %2 in %3</translation>
    </message>
</context>
<context>
    <name>CellText</name>
    <message>
        <source>جيدة</source>
        <translation>Good</translation>
    </message>
    <message>
        <source>سكون</source>
        <translation>Calm</translation>
    </message>
</context>
<context>
    <name>CityDetail</name>
    <message>
        <source>حالة الطقس</source>
        <translation>Conditions</translation>
    </message>
    <message>
        <source>مدى الرؤية / كم</source>
        <translation>Visibility / km</translation>
    </message>
    <message>
        <source>درجة الحرارة (c)</source>
        <translation>Temperature (c)</translation>
    </message>
    <message>
        <source>صغرى</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>السرعة</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>الرياح</source>
        <translation>Wind</translation>
    </message>
    <message>
        <source>برودة  الرياح (c)</source>
        <translation>Wind chill (c)</translation>
    </message>
    <message>
        <source>وقت</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>عظمى</source>
        <translation>High</translation>
    </message>
    <message>
        <source>الرطوبة %</source>
        <translation>Humidity %</translation>
    </message>
    <message>
        <source>الشروق</source>
        <translation>Sunrise</translation>
    </message>
    <message>
        <source>الغروب</source>
        <translation>Sunset</translation>
    </message>
    <message>
        <source>أخر تحديث</source>
        <translation>Last update</translation>
    </message>
    <message>
        <source>خريطة شبه الجزيرة العربية</source>
        <translation>Map of the Arabian Peninsula</translation>
    </message>
    <message>
        <source>تفاصيل المدينة</source>
        <translation>City details</translation>
    </message>
    <message>
        <source>خريطة %1</source>
        <translation>Map of %1</translation>
    </message>
    <message>
        <source>أضغط هنا لمشاهدة %1 من خلال Google</source>
        <translation>Click here to see %1 on Google</translation>
    </message>
</context>
<context>
    <name>CityGrid</name>
    <message>
        <source>المدينة</source>
        <translation>City</translation>
    </message>
    <message>
        <source>حالة الطقس</source>
        <translation>Conditions</translation>
    </message>
    <message>
        <source>درجة الحرارة (c)</source>
        <translation>Temp. (c)</translation>
    </message>
    <message>
        <source>مدى الرؤية / كم</source>
        <translation>Visibility / km</translation>
    </message>
    <message>
        <source>إتجاه الرياح</source>
        <translation>Wind direction</translation>
    </message>
    <message>
        <source>سرعة الرياح</source>
        <translation>Wind speed</translation>
    </message>
    <message>
        <source>الطقس في المدن</source>
        <translation>Weather in the cities</translation>
    </message>
</context>
<context>
    <name>ComingDays</name>
    <message>
        <source>اليوم</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>الحالة</source>
        <translation>Conditions</translation>
    </message>
    <message>
        <source>العظمى</source>
        <translation>High</translation>
    </message>
    <message>
        <source>الصغرى</source>
        <translation>Low</translation>
    </message>
</context>
<context>
    <name>ConditionWords</name>
    <message>
        <source>إعصار</source>
        <translation>Hurricane</translation>
    </message>
    <message>
        <source>عاصفة استوائية</source>
        <translation>Tropical storm</translation>
    </message>
    <message>
        <source>عواصف رعدية قوية</source>
        <translation>Severe thunderstorms</translation>
    </message>
    <message>
        <source>عواصف رعدية</source>
        <translation>Thunderstorms</translation>
    </message>
    <message>
        <source>مطر وثلوج</source>
        <translation>Rain and snow</translation>
    </message>
    <message>
        <source>مطر و مطر متجمد</source>
        <translation>Rain and freezing rain</translation>
    </message>
    <message>
        <source>ثلوج ومطر متجمد</source>
        <translation>Snow and freezing rain</translation>
    </message>
    <message>
        <source>رذاذ متجمد</source>
        <translation>Freezing drizzle</translation>
    </message>
    <message>
        <source>رذاذ</source>
        <translation>Drizzle</translation>
    </message>
    <message>
        <source>مطر متجمد</source>
        <translation>Freezing rain</translation>
    </message>
    <message>
        <source>مطر</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>رياح ثالجه</source>
        <translation>Icy wind</translation>
    </message>
    <message>
        <source>ثلوج خفيفة</source>
        <translation>Light snow</translation>
    </message>
    <message>
        <source>ثلوج</source>
        <translation>Snow</translation>
    </message>
    <message>
        <source>بارد</source>
        <translation>Cold</translation>
    </message>
    <message>
        <source>متجمد</source>
        <translation>Frozen</translation>
    </message>
    <message>
        <source>غبار</source>
        <translation>Dust</translation>
    </message>
    <message>
        <source>ضباب</source>
        <translation>Fog</translation>
    </message>
    <message>
        <source>غائم</source>
        <translation>Cloudy</translation>
    </message>
    <message>
        <source>بخار</source>
        <translation>Haze</translation>
    </message>
    <message>
        <source>عاصف</source>
        <translation>Windy</translation>
    </message>
    <message>
        <source>غائم غالباً</source>
        <translation>Mostly cloudy</translation>
    </message>
    <message>
        <source>غائم جزئي</source>
        <translation>Partly cloudy</translation>
    </message>
    <message>
        <source>صافي</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>مشمس</source>
        <translation>Sunny</translation>
    </message>
    <message>
        <source>صحو</source>
        <translation>Fair</translation>
    </message>
    <message>
        <source>مطر وبرد</source>
        <translation>Rain and hail</translation>
    </message>
    <message>
        <source>حار</source>
        <translation>Hot</translation>
    </message>
    <message>
        <source>عواصف رعدية متقطعة</source>
        <translation>Scattered thunderstorms</translation>
    </message>
    <message>
        <source>أمطار متقطعة</source>
        <translation>Scattered showers</translation>
    </message>
    <message>
        <source>ثلوج كثيفه</source>
        <translation>Heavy snow</translation>
    </message>
    <message>
        <source>ثلوج ممطرة متقطعة</source>
        <translation>Scattered snow showers</translation>
    </message>
    <message>
        <source>رعود</source>
        <translation>Thunder</translation>
    </message>
    <message>
        <source>أمطار ثلجية</source>
        <translation>Snow showers</translation>
    </message>
    <message>
        <source>غير متاح</source>
        <translation>Not available</translation>
    </message>
</context>
<context>
    <name>DataAge</name>
    <message numerus="yes">
        <source>آخر تحديث قبل %n ساعة</source>
        <translation>
            <numerusform>Updated %n hour ago</numerusform>
            <numerusform>Updated %n hours ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>آخر تحديث قبل %n يوم</source>
        <translation>
            <numerusform>Updated %n day ago</numerusform>
            <numerusform>Updated %n days ago</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>DesktopNotices</name>
    <message>
        <source>عرض</source>
        <translation>Show</translation>
    </message>
</context>
<context>
    <name>FeedAlert</name>
    <message>
        <source>المركز الوطني للأرصاد</source>
        <translation>National Center for Meteorology</translation>
    </message>
    <message>
        <source>تنبيه</source>
        <translation>Alert</translation>
    </message>
    <message>
        <source>%1، %2: %3</source>
        <translation>%1, %2: %3</translation>
    </message>
</context>
<context>
    <name>FeedDate</name>
    <message>
        <source>الاثنين</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>الثلاثاء</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>الأربعاء</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>الخميس</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>الجمعة</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>السبت</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>الأحد</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>اليوم</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>غداً</source>
        <translation>Tomorrow</translation>
    </message>
    <message>
        <source>أمس</source>
        <translation>Yesterday</translation>
    </message>
    <message>
        <source>منتصف الليل</source>
        <translation>12 AM</translation>
    </message>
    <message>
        <source>12 ظهراً</source>
        <translation>12 PM</translation>
    </message>
    <message>
        <source>%1 صباحاً</source>
        <translation>%1 AM</translation>
    </message>
    <message>
        <source>%1 مساءً</source>
        <translation>%1 PM</translation>
    </message>
    <message>
        <source>%1 ص</source>
        <translation>%1 AM</translation>
    </message>
    <message>
        <source>%1 م</source>
        <translation>%1 PM</translation>
    </message>
</context>
<context>
    <name>FeedReading</name>
    <message>
        <source> اللهم صيبا ً نافعاً </source>
        <translation> May it be a beneficial rain </translation>
    </message>
</context>
<context>
    <name>FeedWarning</name>
    <message>
        <source>عاصفة ترابية</source>
        <translation>Dust storm</translation>
    </message>
    <message>
        <source>موجة حر شديدة</source>
        <translation>Extreme heat</translation>
    </message>
    <message>
        <source>أمطار غزيرة وسيول محتملة</source>
        <translation>Heavy rain, flash floods likely</translation>
    </message>
    <message>
        <source>عواصف رعدية</source>
        <translation>Thunderstorms</translation>
    </message>
    <message>
        <source>رياح شديدة</source>
        <translation>Strong wind</translation>
    </message>
    <message>
        <source>يوم %1</source>
        <translation>on %1</translation>
    </message>
    <message>
        <source>%1 و%2</source>
        <translation>%1 and %2</translation>
    </message>
    <message>
        <source>من %1 حتى %2</source>
        <translation>from %1 to %2</translation>
    </message>
    <message>
        <source>العظمى %1°</source>
        <translation>high %1°</translation>
    </message>
    <message>
        <source>%1 مم</source>
        <translation>%1 mm</translation>
    </message>
    <message>
        <source>هبات حتى %1 كم/س</source>
        <translation>gusts up to %1 km/h</translation>
    </message>
    <message>
        <source>الغبار %1 ميكروغرام/م³</source>
        <translation>dust %1 µg/m³</translation>
    </message>
    <message>
        <source>%1 حتى منتصف الليل</source>
        <translation>%1 until midnight</translation>
    </message>
    <message>
        <source>%1 حتى %2</source>
        <translation>%1 until %2</translation>
    </message>
    <message>
        <source>اليوم</source>
        <translation>today</translation>
    </message>
    <message>
        <source>غداً</source>
        <translation>tomorrow</translation>
    </message>
    <message>
        <source>أمس</source>
        <translation>yesterday</translation>
    </message>
    <message>
        <source>من الساعة %1</source>
        <translation>from %1</translation>
    </message>
    <message>
        <source>%1 %2 إلى %3 الساعة %4</source>
        <translation>%1 %2 to %3 at %4</translation>
    </message>
    <message>
        <source>%1 %2 إلى %3</source>
        <translation>%1 %2 to %3</translation>
    </message>
    <message>
        <source>تنبيه: %1</source>
        <translation>Warning: %1</translation>
    </message>
    <message>
        <source>%1 إلى %2</source>
        <translation>%1 to %2</translation>
    </message>
</context>
<context>
    <name>HoursCurve</name>
    <message>
        <source>الساعات القادمة</source>
        <translation>Coming hours</translation>
    </message>
    <message>
        <source>الآن</source>
        <translation>Now</translation>
    </message>
    <message>
        <source>الساعة</source>
        <translation>Hour</translation>
    </message>
    <message>
        <source>الحالة</source>
        <translation>Conditions</translation>
    </message>
    <message>
        <source>الحرارة</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>الرياح</source>
        <translation>Wind</translation>
    </message>
</context>
<context>
    <name>MapPlace</name>
    <message>
        <source>الأيام القادمة</source>
        <translation>Coming days</translation>
    </message>
    <message>
        <source>عرض الأيام القادمة</source>
        <translation>Show the coming days</translation>
    </message>
    <message>
        <source>الساعات القادمة</source>
        <translation>Coming hours</translation>
    </message>
    <message>
        <source>عرض الساعات القادمة</source>
        <translation>Show the coming hours</translation>
    </message>
    <message>
        <source>الخريطة</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>عرض الخريطة</source>
        <translation>Show the map</translation>
    </message>
</context>
<context>
    <name>OwnCityToggle</name>
    <message>
        <source>مدينتي</source>
        <translation>My city</translation>
    </message>
</context>
<context>
    <name>SpokenText</name>
    <message>
        <source>، </source>
        <translation>, </translation>
    </message>
    <message>
        <source>سالب </source>
        <translation>minus </translation>
    </message>
    <message>
        <source>درجة</source>
        <translation>degrees</translation>
    </message>
    <message>
        <source>كيلومتر</source>
        <translation>kilometres</translation>
    </message>
    <message>
        <source>كيلومتر في الساعة</source>
        <translation>kilometres per hour</translation>
    </message>
    <message>
        <source>بالمئة</source>
        <translation>percent</translation>
    </message>
    <message>
        <source>بالدرجة المئوية</source>
        <translation>in degrees Celsius</translation>
    </message>
    <message>
        <source>/ كم</source>
        <translation>/ km</translation>
    </message>
    <message>
        <source>بالكيلومتر</source>
        <translation>in kilometres</translation>
    </message>
</context>
<context>
    <name>TickerStrip</name>
    <message>
        <source>نشرة الطقس</source>
        <translation>Weather ticker</translation>
    </message>
</context>
<context>
    <name>WindCompass</name>
    <message>
        <source>رياح %1</source>
        <translation>%1 wind</translation>
    </message>
    <message>
        <source>رياح بلا اتجاه</source>
        <translation>Wind without a direction</translation>
    </message>
    <message>
        <source>سكون</source>
        <translation>Calm</translation>
    </message>
    <message>
        <source>%1 كم/س</source>
        <translation>%1 km/h</translation>
    </message>
</context>
<context>
    <name>WindWords</name>
    <message>
        <source>شمالية</source>
        <translation>North</translation>
    </message>
    <message>
        <source>شمالية شمالية شرقية</source>
        <translation>North-northeast</translation>
    </message>
    <message>
        <source>شمالية شرقية</source>
        <translation>Northeast</translation>
    </message>
    <message>
        <source>شرقية شمالية شرقية</source>
        <translation>East-northeast</translation>
    </message>
    <message>
        <source>شرقية</source>
        <translation>East</translation>
    </message>
    <message>
        <source>شرقية جنوبية شرقية</source>
        <translation>East-southeast</translation>
    </message>
    <message>
        <source>جنوبية شرقية</source>
        <translation>Southeast</translation>
    </message>
    <message>
        <source>جنوبية جنوبية شرقية</source>
        <translation>South-southeast</translation>
    </message>
    <message>
        <source>جنوبية</source>
        <translation>South</translation>
    </message>
    <message>
        <source>جنوبية جنوبية غربية</source>
        <translation>South-southwest</translation>
    </message>
    <message>
        <source>جنوبية غربية</source>
        <translation>Southwest</translation>
    </message>
    <message>
        <source>غربية جنوبية غربية</source>
        <translation>West-southwest</translation>
    </message>
    <message>
        <source>غربية</source>
        <translation>West</translation>
    </message>
    <message>
        <source>غربية شمالية غربية</source>
        <translation>West-northwest</translation>
    </message>
    <message>
        <source>شمالية غربية</source>
        <translation>Northwest</translation>
    </message>
    <message>
        <source>شمالية شمالية غربية</source>
        <translation>North-northwest</translation>
    </message>
</context>
<context>
    <name>frmWeatherMain</name>
    <message>
        <source>QIV Weather 6.1</source>
        <translation>QIV Weather 6.1</translation>
    </message>
    <message>
        <source>عرض التفاصيل</source>
        <translation>Show details</translation>
    </message>
    <message>
        <source>إخفاء التفاصيل</source>
        <translation>Hide details</translation>
    </message>
    <message>
        <source>موقع صانع البرنامج</source>
        <translation>The maker&apos;s website</translation>
    </message>
    <message>
        <source>رتب حسب</source>
        <translation>Sort by</translation>
    </message>
    <message>
        <source>لم يتم العثور على السجل</source>
        <translation>The record was not found</translation>
    </message>
    <message>
        <source>اسم المدينة</source>
        <translation>City name</translation>
    </message>
    <message>
        <source>حالة الطقس</source>
        <translation>Conditions</translation>
    </message>
    <message>
        <source>درجة الحرارة</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>مدى الرؤية</source>
        <translation>Visibility</translation>
    </message>
    <message>
        <source>إتجاه الرياح</source>
        <translation>Wind direction</translation>
    </message>
    <message>
        <source>سرعة الرياح</source>
        <translation>Wind speed</translation>
    </message>
    <message>
        <source>Application already in used.</source>
        <translation>Application already in used.</translation>
    </message>
    <message>
        <source>ملف الطقس غير متوفر</source>
        <translation>The weather file is not available</translation>
    </message>
    <message>
        <source>لايوجد اتصال بالسيرفر.. تأكد من اتصال الجهاز بالأنترنت</source>
        <translation>No connection to the server.. check that the computer is connected to the internet</translation>
    </message>
    <message>
        <source>جاري تحديث بيانات الطقس .. نرجو الإنتظار</source>
        <translation>Updating the weather .. please wait</translation>
    </message>
    <message>
        <source>  اللهم اسقنا غيثاً مغيثاً مريئاً نافعاً غير ضار ،عاجلاً غير آجل اللهم اسق عبادك وبهائمك ، وانشر رحمتك وأحي بلدك الميت  </source>
        <translation>  O God, send us rain that relieves, wholesome and beneficial, not harmful, soon and not late; O God, give water to Your servants and Your cattle, spread Your mercy and revive Your dead land  </translation>
    </message>
    <message>
        <source>لا توجد شبكة: خدمة الطقس على هذا الجهاز لا تصل إلى مصدر بياناتها</source>
        <translation>No network: the weather service on this computer cannot reach its source of data</translation>
    </message>
    <message>
        <source>خدمة الطقس على هذا الجهاز لا تعمل أو تعذّر تشغيلها</source>
        <translation>The weather service on this computer is not running or could not be started</translation>
    </message>
    <message>
        <source>منفذ خدمة الطقس يشغله خادم حساب آخر على هذا الجهاز</source>
        <translation>The weather service&apos;s port is held by a server of another account on this computer</translation>
    </message>
    <message>
        <source>تعذّر معرفة صاحب الخادم على منفذ خدمة الطقس على هذا الجهاز، فلا تُقرأ بياناته</source>
        <translation>The owner of the server on the weather service&apos;s port cannot be told, so its data is not read</translation>
    </message>
</context>
</TS>
