# Demo script for the stand-in interpreter (the php.exe built beside Quorvid.exe), not real PHP.
# It plays a station that listens to an SBS-1 receiver and forwards its messages to the UDP server.
# Directives: out TEXT, err TEXT, every MS N TEXT (N lines one every MS ms, 0 = for ever;
# %n counts, %t is the time of day), sleep MS, exit CODE. Quorvid cuts the leading "2010-MM-DD ".
every 300 1 2010-05-17 %t SBS-1 station 1.0 (demo01)
every 300 1 2010-05-17 %t Forwarding to udp://127.0.0.1:30003
every 700 1 2010-05-17 %t Connecting to receiver 127.0.0.1:30003
every 500 1 2010-05-17 %t Receiver connected
every 1000 20 2010-05-17 %t %n s: 2 aircraft, 14 msg/s
every 1000 1 2010-05-17 %t New aircraft 4CA2D5 (EIN12K)
every 1000 30 2010-05-17 %t %n s: 3 aircraft, 21 msg/s
every 1000 1 2010-05-17 %t Aircraft 3C6586 lost
every 1000 0 2010-05-17 %t %n s: 2 aircraft, 15 msg/s
