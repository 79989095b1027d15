#!/usr/bin/env python3
"""Writes a weather document of about SIZE bytes: the known structure, with
many unknown elements and long character runs in it, as a service that
adds forecasts and remarks might send.   gen_doc.py SIZE OUT"""
import sys

size = int(sys.argv[1])
out = open(sys.argv[2], "w", encoding="utf-8")
head = """<?xml version="1.0" encoding="UTF-8"?>
<current>
  <city id="3003" name="Millbrook">
    <coord lon="-89.65" lat="39.80"/>
    <country>US</country>
    <sun rise="2026-12-10T13:02:44" set="2026-12-10T22:31:09"/>
  </city>
  <temperature value="3.80" min="1.10" max="6.00" unit="celsius"/>
  <humidity value="64" unit="%"/>
  <pressure value="1021" unit="hPa"/>
  <wind>
    <speed value="2.6" unit="m/s" name="Light breeze"/>
    <direction value="250" code="WSW" name="West-southwest"/>
  </wind>
  <clouds value="75" name="broken clouds"/>
  <visibility value="16093"/>
  <precipitation value="2.4" mode="rain"/>
  <lastupdate value="2026-12-10T05:25:00"/>
"""
tail = "</current>\n"
out.write(head)
written = len(head) + len(tail)
i = 0
remark = ("Light rain easing through the afternoon, with broken cloud and a "
          "westerly breeze; visibility good outside the showers. ") * 3
while written < size:
    block = (f'  <station id="{i}" kind="remark">\n'
             f'    <observed at="2026-12-10T{i % 24:02d}:{i % 60:02d}:00" quality="good"/>\n'
             f'    <note lang="en">{remark}</note>\n'
             f'    <reading name="temperature" value="{i % 40 - 10}.5"/>\n'
             f'  </station>\n')
    out.write(block)
    written += len(block)
    i += 1
out.write(tail)
