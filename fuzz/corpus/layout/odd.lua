x = 1
-- START Textures.lua
Textures = {
{Name="a.png";Texture="tex1";PosX=1;PosY=2;Width=30;Height=40;Rotate=false;Compress=true;},
{Name="b.jpg";Texture="t";PosX=$10;PosY=-3;Width=8px;Height=;Rotate=1;Compress=0; extra;junk;},
{Name="a.png";Texture="dup";PosX=5;PosY=6;Width=7;Height=8;Compress=true;},
{N="";Texture="t";
{Name="c";Texture="t";PosX=1;PosY=2;Width=3;Height=4;Rotate=maybe;Compress=true;},
-- END Textures.lua
