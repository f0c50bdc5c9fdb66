#!/usr/bin/python3
"""Writes tests/data/moon-reference.csv: the Moon seen from the sample site through one
lunation, as PyEphem (Debian's python3-ephem, a lunar theory of its own) gives it.

Columns: the UTC instant; the Moon's topocentric place on J2000 axes (PyEphem's apparent
place of date taken back to J2000); its altitude (no refraction) and azimuth; its age in
days from the geocentric elongation in ecliptic longitude (29.53 days to 360 degrees); and
its topocentric separation from five J2000 targets, in degrees.

Run:  /usr/bin/python3 tests/selection/moon_reference.py > tests/data/moon-reference.csv
"""
import math
import ephem

LATITUDE, LONGITUDE = 31.96, -111.6
TARGETS = [  # name, right ascension (hours), declination (degrees), J2000
    ("M45", 3.79, 24.11667),
    ("M42", 5.588056, -5.391111),
    ("NGC253", 0.7925, -25.28833),
    ("M104", 12.666389, -11.623056),
    ("M8", 18.060278, -24.386667),
]


def main():
    site = ephem.Observer()
    site.lat, site.lon = str(LATITUDE), str(LONGITUDE)
    site.elevation = 0
    site.pressure = 0  # no refraction
    bodies = []
    for name, ra, dec in TARGETS:
        b = ephem.FixedBody()
        b._ra, b._dec, b._epoch = math.radians(ra * 15), math.radians(dec), ephem.J2000
        bodies.append(b)
    print("utc,ra_hours,dec_degrees,altitude,azimuth,age_days," + ",".join("sep_" + t[0] for t in TARGETS))
    start = ephem.Date("2026/12/07 00:00:00")
    for step in range(0, 30 * 24, 7):  # every 7 hours through 30 days
        site.date = ephem.Date(start + step * ephem.hour)
        moon = ephem.Moon(site)
        sun = ephem.Sun(site)
        j2000 = ephem.Equatorial(ephem.Equatorial(moon.ra, moon.dec, epoch=site.date), epoch=ephem.J2000)
        lm = ephem.Ecliptic(ephem.Equatorial(moon.g_ra, moon.g_dec, epoch=site.date)).lon
        ls = ephem.Ecliptic(ephem.Equatorial(sun.g_ra, sun.g_dec, epoch=site.date)).lon
        age = (math.degrees(lm - ls) % 360.0) / 360.0 * 29.53
        seps = []
        for b in bodies:
            b.compute(site)
            seps.append(math.degrees(ephem.separation((moon.ra, moon.dec), (b.ra, b.dec))))
        when = site.date.datetime().strftime("%Y-%m-%dT%H:%M:%SZ")
        row = [when, "%.6f" % (math.degrees(j2000.ra) / 15), "%.5f" % math.degrees(j2000.dec),
               "%.5f" % math.degrees(moon.alt), "%.5f" % math.degrees(moon.az), "%.5f" % age]
        row += ["%.5f" % s for s in seps]
        print(",".join(row))


if __name__ == "__main__":
    main()
