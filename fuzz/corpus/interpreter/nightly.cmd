/ nightly mirror of the web folder
open web ftp.example.org webuser s3cret 21 /pub/web
lcd /home/me/site
binary web
put web *.html
put web *.log any < 2
get web report.csv
close web
