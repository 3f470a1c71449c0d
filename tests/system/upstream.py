#!/usr/bin/env python3
"""Open-Meteo stood in for on the system test's loopback.

    upstream.py PORT STATE_DIR

Answers the forecast and air-quality calls of a wave as the real APIs
would for the hour asked, every value the same. Under /ncm/ it stands in
for the national centre's CAP alert feeds: /ncm/ar/cap-alerts, an RSS
index linking /ncm/cap/ALERT.xml, an Arabic red dust alert over Riyadh
(a polygon), and /ncm/en/cap-alerts, an Atom index carrying the same alert
in English inline; both say when they were last modified and answer 304 to
a request that says so. Each of those calls is appended to
STATE_DIR/alert-calls; while STATE_DIR/alerts-mode holds "down", they are
answered with a 503. Each call is appended to
STATE_DIR/calls (one line: "forecast" or "air-quality", then its query),
so the test counts what the service asked. While STATE_DIR/mode holds
"429", every call is answered with Open-Meteo's daily-limit refusal; while
it holds "down", with a 503, as an upstream out of service.
"""
import json
import sys
from datetime import datetime, timedelta
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import parse_qs, urlsplit

CURRENT = {
    "time": "2026-12-07T13:00", "interval": 900, "temperature_2m": 24.6, "relative_humidity_2m": 21,
    "apparent_temperature": 22.9, "is_day": 1, "weather_code": 1, "pressure_msl": 1017.2,
    "wind_speed_10m": 13.7, "wind_direction_10m": 31, "visibility": 24140.0,
}
AIR = {"time": "2026-12-07T13:00", "interval": 3600, "dust": 42.0, "pm10": 88.5}
UNITS = {"dust": "\u03bcg/m\u00b3", "pm10": "\u03bcg/m\u00b3"}
DAILY = {
    "weather_code": [1, 0, 2, 3, 0],
    "temperature_2m_max": [25.9, 26.3, 24.8, 23.1, 24.0], "temperature_2m_min": [13.2, 12.8, 14.1, 13.5, 12.2],
}
DAILY_LIMIT = b'{"error":true,"reason":"Daily API request limit exceeded. Please try again tomorrow."}'
OUT_OF_SERVICE = b'{"error":true,"reason":"Service unavailable"}'


def element(current, query):
    """One location's answer: the quarter-hour series the call asks for and
    the hour at start_hour, every step with the values of `current`."""
    answer = {"latitude": 24.69, "longitude": 46.72, "utc_offset_seconds": 10800, "timezone": "Asia/Riyadh",
              "timezone_abbreviation": "GMT+3", "elevation": 612.0}
    hour = query.get("start_hour", [""])[0]
    hourly = query.get("hourly", [""])[0].split(",")
    quarters = []
    if "start_minutely_15" in query:
        at = datetime.fromisoformat(query["start_minutely_15"][0])
        last = datetime.fromisoformat(query["end_minutely_15"][0])
        while at <= last:
            quarters.append(at.strftime("%Y-%m-%dT%H:%M"))
            at += timedelta(minutes=15)
    hour_series, quarter_series = {"time": [hour]}, {"time": quarters}
    hour_units, quarter_units = {}, {}
    for key, value in current.items():
        if key in ("time", "interval"):
            continue
        series, units = (hour_series, hour_units) if key in hourly or not quarters else (quarter_series, quarter_units)
        series[key] = [value] * len(series["time"])
        if key in UNITS:
            units[key] = UNITS[key]
    if quarters:
        answer["minutely_15"], answer["minutely_15_units"] = quarter_series, quarter_units
    answer["hourly"], answer["hourly_units"] = hour_series, hour_units
    if current is CURRENT and "daily" in query:
        first = datetime.fromisoformat(hour).date() if hour else datetime.now().date()
        days = [(first + timedelta(days=i)).isoformat() for i in range(5)]
        answer["daily"] = dict(DAILY, time=days, sunrise=[d + "T06:31" for d in days],
                               sunset=[d + "T17:06" for d in days])
    return answer


ALERT_ID = "2.49.0.0.682.0.SYSTEM.TEST.1"
ALERT_MODIFIED = "Wed, 09 Dec 2026 09:00:00 GMT"


def cap_info(language, sender, event, headline, expires):
    return (f"<info><language>{language}</language><category>Met</category><event>{event}</event>"
            "<urgency>Immediate</urgency><severity>Severe</severity><certainty>Observed</certainty>"
            f"<expires>{expires}</expires><senderName>{sender}</senderName><headline>{headline}</headline>"
            "<description>Visibility under 1 km</description><area><areaDesc>Riyadh</areaDesc>"
            "<polygon>24.5,46.5 24.5,47.0 25.0,47.0 25.0,46.5 24.5,46.5</polygon></area></info>")


def cap_alert(language):
    """The alert, sent an hour ago and in force for six hours from now."""
    now = datetime.utcnow().replace(microsecond=0)
    sent = (now - timedelta(hours=1)).isoformat() + "+00:00"
    expires = (now + timedelta(hours=6)).isoformat() + "+00:00"
    info = (cap_info("ar-SA", "المركز الوطني للأرصاد", "غبار", "تنبيه أحمر: غبار على الرياض", expires)
            if language == "ar" else cap_info("en-US", "NCM", "Dust", "Red alert: dust over Riyadh", expires))
    return ('<alert xmlns="urn:oasis:names:tc:emergency:cap:1.2">'
            f"<identifier>{ALERT_ID}</identifier><sender>ncm.gov.sa</sender><sent>{sent}</sent>"
            f"<status>Actual</status><msgType>Alert</msgType><scope>Public</scope>{info}</alert>")


class Upstream(BaseHTTPRequestHandler):
    state = Path(".")

    def alerts(self, path):
        with open(self.state / "alert-calls", "a") as calls:
            calls.write(path + "\n")
        mode = self.state / "alerts-mode"
        if mode.exists() and mode.read_text().strip() == "down":
            return self.answer(503, b"down", "text/plain")
        if self.headers.get("If-Modified-Since") == ALERT_MODIFIED:
            return self.answer(304, b"", "application/xml")
        if path == "/ncm/ar/cap-alerts":
            body = ('<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>NCM</title>'
                    f"<item><title>dust</title><link>/ncm/cap/{ALERT_ID}.xml</link></item></channel></rss>")
            return self.answer(200, body.encode(), "application/rss+xml")
        if path == "/ncm/en/cap-alerts":
            body = ('<feed xmlns="http://www.w3.org/2005/Atom"><title>NCM</title><entry><title>dust</title>'
                    f'<content type="text/xml">{cap_alert("en")}</content></entry></feed>')
            return self.answer(200, body.encode(), "application/atom+xml")
        if path == f"/ncm/cap/{ALERT_ID}.xml":
            return self.answer(200, cap_alert("ar").encode(), "application/cap+xml")
        return self.answer(404, b"", "text/plain")

    def do_GET(self):
        url = urlsplit(self.path)
        if url.path.startswith("/ncm/"):
            return self.alerts(url.path)
        query = parse_qs(url.query)
        air = "air-quality" in url.path
        with open(self.state / "calls", "a") as calls:
            calls.write(("air-quality " if air else "forecast ") + url.query + "\n")
        mode = self.state / "mode"
        mode = mode.read_text().strip() if mode.exists() else "ok"
        if mode == "429":
            return self.answer(429, DAILY_LIMIT)
        if mode == "down":
            return self.answer(503, OUT_OF_SERVICE)
        count = query.get("latitude", [""])[0].count(",") + 1
        one = element(AIR if air else CURRENT, query)
        body = one if count == 1 else [dict(one, location_id=i) if i else one for i in range(count)]
        self.answer(200, json.dumps(body).encode())

    def answer(self, status, body, content_type="application/json"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if self.path.startswith("/ncm/") and status == 200:
            self.send_header("Last-Modified", ALERT_MODIFIED)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    Upstream.state = Path(sys.argv[2])
    ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Upstream).serve_forever()
