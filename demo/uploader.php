# Demo script for the stand-in interpreter (the php.exe built beside Quorvid.exe), not real PHP.
# It plays one upload round to the HTTP server and ends; Quorvid starts it again 100 ms later,
# so the uploader's list empties and fills once per round. Like PHP, it writes UTF-8.
# Directives: out TEXT, err TEXT, every MS N TEXT (N lines one every MS ms, 0 = for ever;
# %n counts, %t is the time of day), sleep MS, exit CODE. Quorvid cuts the leading "2010-MM-DD ".
every 400 1 2010-05-17 %t Uploader 1.0 for demo01
every 600 1 2010-05-17 %t POST http://share.example.org/
every 300 1 2010-05-17 %t Server: «Bienvenue, demo01» – Zürich, Привет
every 1500 1 2010-05-17 %t Sent 3 aircraft, 312 bytes: 200 OK
every 1500 1 2010-05-17 %t Sent 2 aircraft, 208 bytes: 200 OK
err 2010-05-17 Warning: server slow to answer (2.4 s)
every 1500 1 2010-05-17 %t Sent 3 aircraft, 315 bytes: 200 OK
every 3000 1 2010-05-17 %t Round done, restarting
exit 0
